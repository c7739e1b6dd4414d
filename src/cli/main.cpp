#include "Entry.h"

int wmain(int argc, wchar_t** argv) {
    // The parsers rely on a null entry after the last word, as the argument vector has.
    static const wchar_t* const kNoArguments[] = {nullptr};
    const int count = argc > 0 ? argc - 1 : 0;
    const wchar_t* const* args = argc > 0 ? argv + 1 : kNoArguments;
    return static_cast<int>(quillet::RunQuillet(count, args));
}
