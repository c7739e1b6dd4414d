#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace quillet {

// Owns one reference to a COM interface and releases it on every path out of its scope.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    T& operator*() const { return *m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // Releases what is held and returns the slot for an out parameter.
    T** put() {
        reset();
        return &m_pointer;
    }

    void reset() {
        if (T* pointer = std::exchange(m_pointer, nullptr)) {
            pointer->Release();
        }
    }

private:
    T* m_pointer = nullptr;
};

// Creates a service object in the local server, the only way the program reaches the service.
template <class T> HRESULT CreateLocalServerObject(REFCLSID clsid, REFIID iid, ComPtr<T>& object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, reinterpret_cast<void**>(object.put()));
}

} // namespace quillet
