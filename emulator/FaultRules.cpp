#include "FaultRules.h"

#include "win32/IgnoringCase.h"

namespace quillet::emulator {

namespace {

bool NamesMethod(std::wstring_view rule, std::wstring_view interfaceName, std::wstring_view method) {
    size_t dot = rule.find(L'.');
    if (dot == std::wstring_view::npos) {
        return EqualsIgnoringCase(rule, method);
    }
    return EqualsIgnoringCase(rule.substr(0, dot), interfaceName) &&
           EqualsIgnoringCase(rule.substr(dot + 1), method);
}

} // namespace

std::optional<FaultHit> TakeFault(std::vector<FaultRule>& faults, std::wstring_view interfaceName,
                                  std::wstring_view method, const std::wstring* firstArgument,
                                  bool& changed) {
    for (FaultRule& fault : faults) {
        if (fault.times == 0 || !NamesMethod(fault.method, interfaceName, method)) {
            continue;
        }
        if (fault.guid && (firstArgument == nullptr || !EqualsIgnoringCase(*fault.guid, *firstArgument))) {
            continue;
        }
        if (fault.skip > 0) {
            --fault.skip;
            changed = true;
            continue;
        }
        if (fault.times > 0) {
            --fault.times;
            changed = true;
        }
        return FaultHit{fault.action, fault.hr};
    }
    return std::nullopt;
}

std::optional<ReplyShape> TakeReplyShape(std::vector<ReplyRule>& replies, std::wstring_view interfaceName,
                                         std::wstring_view method, bool& changed) {
    for (ReplyRule& reply : replies) {
        if (reply.times == 0 || !NamesMethod(reply.method, interfaceName, method)) {
            continue;
        }
        if (reply.times > 0) {
            --reply.times;
            changed = true;
        }
        return reply.shape;
    }
    return std::nullopt;
}

} // namespace quillet::emulator
