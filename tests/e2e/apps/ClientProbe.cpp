// Runs one client control operation of Quillet's own against the service, for the black-box tests of
// operations that no application command reaches on its own:
//
//   quillet_client_probe shutdown   ShutDownClient
//   quillet_client_probe admin      QueryUserIsAdmin
//
// Prints "true" or "false" with the operation's result and exits with 0; 2 for a wrong command line.

#include "client/ClientControl.h"
#include "output/Console.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    int status = 0;
    bool result = false;
    if (std::wcscmp(argv[1], L"shutdown") == 0) {
        result = quillet::ShutDownClient();
    } else if (std::wcscmp(argv[1], L"admin") == 0) {
        result = quillet::QueryUserIsAdmin();
    } else {
        status = 2;
    }
    if (status == 0) {
        quillet::ConsolePrint(result ? L"true\n" : L"false\n");
    }
    CoUninitialize();
    return status;
}
