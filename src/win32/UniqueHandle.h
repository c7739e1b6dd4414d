#pragma once

#include <windows.h>

#include <utility>

namespace quillet {

// The one owner of a handle-like resource: closes what it holds on every path out of its scope. Traits
// name the type, the value that means "nothing held" and how to close: HandleTraits for kernel objects
// (null when absent), FileHandleTraits for CreateFile's INVALID_HANDLE_VALUE. Another kind of resource
// (a WinHTTP handle, a mapped view, a socket) gets traits of its own where it is used.
template <class Traits> class UniqueAny {
public:
    using pointer = typename Traits::pointer;

    UniqueAny() noexcept = default;
    explicit UniqueAny(pointer value) noexcept : m_value(value) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueAny() { reset(); }

    pointer get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }

    // Closes what is held and returns the slot for an out parameter.
    pointer* put() noexcept {
        reset();
        return &m_value;
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    void reset(pointer value = Traits::Invalid()) noexcept {
        const pointer old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    pointer m_value = Traits::Invalid();
};

struct HandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer handle) noexcept { CloseHandle(handle); }
};

struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(pointer handle) noexcept { CloseHandle(handle); }
};

// Events, mutexes, mappings, processes, threads, pipes.
using UniqueHandle = UniqueAny<HandleTraits>;
// What CreateFileW opens.
using UniqueFile = UniqueAny<FileHandleTraits>;

} // namespace quillet
