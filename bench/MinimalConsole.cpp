// The benchmark's reference start-ups, built like Quillet.exe (same toolchain, static runtime, wide entry
// point). MinimalConsole does nothing; MinimalOle32 also imports the COM runtime without calling it;
// MinimalSta also enters and leaves a single-threaded apartment, as Quillet must before it reads its
// command line. Their differences show what each step costs on the machine.

#include <windows.h>

#if defined(BENCH_IMPORT_OLE32) || defined(BENCH_ENTER_STA)
#include <objbase.h>
#endif

namespace {

#if defined(BENCH_ENTER_STA)
// The exit code of a program that cannot enter the apartment, as Quillet has it.
constexpr int kComUnavailable = 1603;
#elif defined(BENCH_IMPORT_OLE32)
// Read at run time, so that the linker keeps the import although the call is never made.
volatile bool g_neverTrue = false;
#endif

} // namespace

int wmain(int, wchar_t**) {
#if defined(BENCH_ENTER_STA)
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kComUnavailable;
    }
    CoUninitialize();
#elif defined(BENCH_IMPORT_OLE32)
    if (g_neverTrue) {
        CoUninitialize();
    }
#endif
    return 0;
}
