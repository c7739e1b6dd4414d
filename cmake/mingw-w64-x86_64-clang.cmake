# The same cross build with clang-19 and lld: mingw-w64's headers and libraries, and the posix flavour of
# GCC's libstdc++, which clang finds beside the mingw-w64 GCC.
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")

set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)
# mingw-w64's own archiver and strip, as the GCC build has them: without a prefix of its own to search by,
# CMake would take whatever llvm or binutils the machine happens to have.
foreach(tool ar ranlib strip objcopy nm)
    string(TOUPPER "${tool}" name)
    find_program(QUILLET_MINGW_${name} ${QUILLET_MINGW_TRIPLE}-${tool} REQUIRED)
    set(CMAKE_${name} "${QUILLET_MINGW_${name}}" CACHE FILEPATH "" FORCE)
endforeach()

# libstdc++ keeps std::call_once's callable in thread-local storage of the emulated kind that GCC uses,
# and that needs winpthreads, which GCC links by itself. lld takes -lpthread wherever it stands.
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -fuse-ld=lld -lpthread")
