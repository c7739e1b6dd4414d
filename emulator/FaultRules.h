#pragma once

#include "ServiceState.h"

#include <optional>
#include <string_view>

namespace quillet::emulator {

struct FaultHit {
    FaultAction action;
    std::int32_t hr;
};

// Finds the fault that acts on this call, counting down its skip and times; changed tells whether a
// counter moved (the state must then be saved). firstArgument is the call's first string argument, if it
// has one. A rule names the method alone or qualified by its interface ("IStreamingClient.Initialize").
std::optional<FaultHit> TakeFault(std::vector<FaultRule>& faults, std::wstring_view interfaceName,
                                  std::wstring_view method, const std::wstring* firstArgument, bool& changed);

// The same for the malformed reply rules.
std::optional<ReplyShape> TakeReplyShape(std::vector<ReplyRule>& replies, std::wstring_view interfaceName,
                                         std::wstring_view method, bool& changed);

} // namespace quillet::emulator
