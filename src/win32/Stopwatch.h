#pragma once

#include <windows.h>

#include <cmath>

namespace quillet {

// A monotonic timer (QueryPerformanceCounter): how long something took, and how much of a time budget is
// left for a wait.
class Stopwatch {
public:
    Stopwatch() noexcept { Restart(); }

    void Restart() noexcept { QueryPerformanceCounter(&m_start); }

    double ElapsedMs() const noexcept {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    }

    // What remains of budgetMs since the start; 0 once it is spent.
    DWORD RemainingMs(DWORD budgetMs) const noexcept {
        const double left = static_cast<double>(budgetMs) - ElapsedMs();
        return left > 0 ? static_cast<DWORD>(std::llround(left)) : 0;
    }

private:
    LARGE_INTEGER m_start;
};

} // namespace quillet
