#include "ProgramOutput.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <set>

namespace quillet::testing::reliability {

namespace {

constexpr wchar_t kInvalidArguments[] =
    L"Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n";
constexpr wchar_t kIncorrectNumber[] =
    L"Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n";
constexpr wchar_t kUnexpectedFailure[] = L"Error: unexpected failure 0x%08X.\n";
constexpr wchar_t kTokenFile[] =
    L"Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\n";
constexpr wchar_t kCannotStartClient[] =
    L"Error: cannot start IStreamingClient to execute application command.\n";
constexpr wchar_t kSuccess[] = L"Success.\n";
constexpr wchar_t kFailed[] = L"Failed.\n";

std::wstring Folded(std::wstring_view word) {
    std::wstring folded(word);
    for (wchar_t& character : folded) {
        if (character >= L'A' && character <= L'Z') {
            character = static_cast<wchar_t>(character - L'A' + L'a');
        }
    }
    return folded;
}

std::vector<std::wstring> ApplicationMessages(const std::wstring& command) {
    const std::vector<std::wstring> ladder = {kCannotStartClient,
                                              L"Error: application does not exist.\n",
                                              L"Error: failed to call CoCreateInstance().\n",
                                              L"Error: failed to initialize IStreamingApplication object.\n",
                                              kSuccess,
                                              kFailed};
    std::vector<std::wstring> messages;
    if (command == L"add") {
        messages = {kTokenFile,
                    kCannotStartClient,
                    L"Error calling CoCreateInstance().\n",
                    L"Error initializing IStreamingApplication object.\n",
                    L"Adding application... ",
                    L"Failed\n",
                    L"Success",
                    L" (Requires Reboot)",
                    L".\n",
                    L"AppName: [%s]\nAppGuid: [%s]\n"};
    } else if (command == L"remove") {
        messages = ladder;
        messages.insert(messages.end(),
                        {L"Removing application [%s]... ",
                         L"Unable to remove applications, as there are no applications to remove.\n"});
    } else if (command == L"start") {
        messages = ladder;
        messages.push_back(L"Starting application [%s]... ");
    } else if (command == L"run-cmd") {
        messages = ladder;
        messages.push_back(L"Running command for application [%s]... ");
    } else if (command == L"stop") {
        messages = ladder;
        messages.insert(messages.end(),
                        {L"Error: cannot start IStreamingClient execute application command.\n",
                         L"Stopping application [%s]... ",
                         L"Unable to stop applications, as there are no applications to stop.\n"});
    } else if (command == L"getidlist") {
        messages = {L"\nAppIdList: \n", L"%d - %s\n"};
    }
    return messages;
}

std::vector<std::wstring> CacheMessages(const std::wstring& command) {
    const std::vector<std::wstring> opening = {L"Error: failed to call CoCreateInstance().\n",
                                               L"Error: failed to intialize IStreamingCache object.\n"};
    std::vector<std::wstring> messages = opening;
    const std::vector<std::wstring> settings = {
        L"Error: user is not an administrator, operation cannot be executed.\n",
        L"Error: call to IStreamingCache::GetCacheLocation() failed.\n", kSuccess, kFailed};
    if (command == L"size") {
        messages.insert(messages.end(), settings.begin(), settings.end());
        messages.insert(messages.end(), {L"%ld\n", L"Changing cache size... "});
    } else if (command == L"location") {
        messages.insert(messages.end(), settings.begin(), settings.end());
        messages.insert(messages.end(), {L"%s\n", L"Changing cache location... "});
    } else if (command == L"clear") {
        messages.insert(
            messages.end(),
            {L"Error: user is not an administrator. Operation cannot be executed.\n",
             L"Invalid operation: Cannot clear cache while working offline or having running apps.\n",
             L"Cache successfully cleared!\n"});
    } else if (command == L"multisource") {
        messages.insert(messages.end(),
                        {L"Adding multisource file...", L"Deleting multisource file...",
                         L"Getting multisource file info...", L"Getting multisource file id list...",
                         L"Success.", kFailed, L"\nMultiSourceFileInfo: \n", L"Application GUID - %s\n",
                         L"Source Path - %s\n", L"Local Path - %s\n", L"Size - %lld\n", L"Max Size - %lld\n",
                         L"Start Time - %02d/%02d/%d %02d:%02d:%02d \n",
                         L"Finish Time - %02d/%02d/%d %02d:%02d:%02d \n", L"\nMultiSourceFileIdList: \n",
                         L"Emtpy\n", L"%d - %s\n"});
    } else {
        messages.clear();
    }
    return messages;
}

// One piece of a format: literal text, or a conversion ('s', 'd' for any decimal, 'X' for %08X).
struct Piece {
    wchar_t conversion = 0;
    std::wstring literal;
};

std::vector<Piece> Pieces(std::wstring_view format) {
    std::vector<Piece> pieces;
    for (size_t at = 0; at < format.size();) {
        if (format[at] != L'%') {
            const size_t next = std::min(format.find(L'%', at), format.size());
            pieces.push_back({0, std::wstring(format.substr(at, next - at))});
            at = next;
            continue;
        }
        const size_t end = format.find_first_of(L"sdX", at);
        pieces.push_back({format[end] == L's' ? L's' : format[end] == L'X' ? L'X' : L'd', {}});
        at = end + 1;
    }
    return pieces;
}

// Every position at which pieces[index...] can end when they start at position at.
void Ends(const std::vector<Piece>& pieces, size_t index, std::wstring_view text, size_t at,
          std::set<size_t>& ends) {
    if (index == pieces.size()) {
        ends.insert(at);
        return;
    }
    const Piece& piece = pieces[index];
    switch (piece.conversion) {
    case 0:
        if (text.substr(at).starts_with(piece.literal)) {
            Ends(pieces, index + 1, text, at + piece.literal.size(), ends);
        }
        return;
    case L'd': {
        size_t end = at < text.size() && text[at] == L'-' ? at + 1 : at;
        const size_t digits = end;
        while (end < text.size() && std::iswdigit(text[end])) {
            ++end;
        }
        if (end > digits) {
            Ends(pieces, index + 1, text, end, ends);
        }
        return;
    }
    case L'X': {
        size_t end = at;
        while (end < text.size() && end - at < 8 &&
               std::wstring_view(L"0123456789ABCDEF").find(text[end]) != std::wstring_view::npos) {
            ++end;
        }
        if (end - at == 8) {
            Ends(pieces, index + 1, text, end, ends);
        }
        return;
    }
    default: {
        // Text within its line; where a literal follows, only up to one of its occurrences.
        const size_t lineEnd = std::min(text.find(L'\n', at), text.size());
        const std::wstring* next = index + 1 < pieces.size() && pieces[index + 1].conversion == 0
                                       ? &pieces[index + 1].literal
                                       : nullptr;
        for (size_t end = at; end <= lineEnd; ++end) {
            if (next == nullptr || text.substr(end).starts_with(*next)) {
                Ends(pieces, index + 1, text, end, ends);
            }
        }
        return;
    }
    }
}

} // namespace

std::vector<std::wstring> MessagesFor(const std::vector<std::wstring>& args, const std::wstring& helpText) {
    if (args.empty() || Folded(args[0]) == L"-h") {
        return {helpText};
    }
    std::vector<std::wstring> messages = {kInvalidArguments, kIncorrectNumber, kUnexpectedFailure};
    const std::wstring component = Folded(args[0]);
    const std::wstring command = args.size() > 1 ? Folded(args[1]) : std::wstring();
    std::vector<std::wstring> own;
    if (component == L"application") {
        own = ApplicationMessages(command);
    } else if (component == L"cache") {
        own = CacheMessages(command);
    }
    messages.insert(messages.end(), own.begin(), own.end());
    return messages;
}

bool MadeOf(std::wstring_view output, const std::vector<std::wstring>& formats) {
    std::vector<std::vector<Piece>> parsed;
    for (const std::wstring& format : formats) {
        parsed.push_back(Pieces(format));
    }
    std::vector<bool> reachable(output.size() + 1, false);
    reachable[0] = true;
    for (size_t at = 0; at < output.size(); ++at) {
        if (!reachable[at]) {
            continue;
        }
        for (const std::vector<Piece>& pieces : parsed) {
            std::set<size_t> ends;
            Ends(pieces, 0, output, at, ends);
            for (const size_t end : ends) {
                if (end > at) {
                    reachable[end] = true;
                }
            }
        }
    }
    return reachable[output.size()];
}

std::wstring DecodeConsole(const std::string& bytes) {
    const UINT console = GetConsoleOutputCP();
    const UINT codePage = console != 0 ? console : GetACP();
    std::wstring text(bytes.size(), L'\0');
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                           text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    std::wstring lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            continue;
        }
        lines.push_back(text[i]);
    }
    return lines;
}

} // namespace quillet::testing::reliability
