#pragma once

#include <string>

namespace quillet {

// The few places where a program must know that it runs under Wine, which runs Windows code natively on
// Linux, and reach Linux itself.
bool RunningUnderWine();

#if defined(__GNUC__) && defined(__x86_64__)
#define QUILLET_LINUX_SYSCALLS 1
// A Linux system call with up to three arguments: the syscall instruction reaches the Linux kernel.
long long LinuxSyscall(long long number, long long first, long long second, long long third = 0);
#endif

// The Unix path of a Windows path (Wine's own mapping); empty when there is none, as on Windows.
std::string UnixPath(const std::wstring& path);

} // namespace quillet
