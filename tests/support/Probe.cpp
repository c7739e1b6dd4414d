// A stand-in child for the runner's and the tools' tests: traces through Quillet's own TracePrint, echoes
// its command line, or exits with a chosen code.
//
//   quillet_probe trace <format> [<text>]   one TracePrint call, with text as its one argument
//   quillet_probe args [<argument>...]       prints its command line, then each argument as <argument>,
//                                            in CR LF lines
//   quillet_probe exit <code> [<stdout text> [<stderr text>]]

#include "output/Trace.h"
#include "win32/Utf8.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kUsageExitCode = 2;

void Write(DWORD standardHandle, std::wstring_view text) {
    const std::string bytes = quillet::ToUtf8(text);
    DWORD written = 0;
    WriteFile(GetStdHandle(standardHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view mode = argc > 1 ? argv[1] : L"";
    if (mode == L"trace" && (argc == 3 || argc == 4)) {
        argc == 3 ? quillet::TracePrint(argv[2]) : quillet::TracePrint(argv[2], argv[3]);
    } else if (mode == L"args") {
        std::wstring echo = GetCommandLineW() + std::wstring(L"\r\n");
        for (int i = 2; i < argc; ++i) {
            echo += L"<" + std::wstring(argv[i]) + L">\r\n";
        }
        Write(STD_OUTPUT_HANDLE, echo);
    } else if (mode == L"exit" && argc >= 3 && argc <= 5) {
        Write(STD_OUTPUT_HANDLE, argc > 3 ? argv[3] : L"");
        Write(STD_ERROR_HANDLE, argc > 4 ? argv[4] : L"");
        ExitProcess(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)));
    } else {
        return kUsageExitCode;
    }
    return 0;
}
