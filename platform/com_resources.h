// Owning types for COM: an apartment, a BSTR and an interface pointer.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace pelicor {

// Enters a COM apartment for the life of the object. CoUninitialize runs only when the matching
// initialisation succeeded (S_OK or S_FALSE): an unbalanced call would tear down an apartment
// that someone else on this thread owns.
class ComApartment {
public:
    explicit ComApartment(DWORD concurrency) noexcept
        : m_initialised(SUCCEEDED(CoInitializeEx(nullptr, concurrency))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (m_initialised) {
            CoUninitialize();
        }
    }

private:
    bool m_initialised;
};

// Owns a BSTR; nullptr means none (which COM treats like an empty string, but a callee may not).
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(const wchar_t* text) noexcept : m_bstr(SysAllocString(text)) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { Reset(); }

    BSTR Get() const noexcept { return m_bstr; }
    explicit operator bool() const noexcept { return m_bstr != nullptr; }
    // For out-parameters: frees what is held and hands out the slot.
    BSTR* Put() noexcept {
        Reset();
        return &m_bstr;
    }
    void Reset() noexcept { SysFreeString(std::exchange(m_bstr, nullptr)); }

private:
    BSTR m_bstr = nullptr;
};

// Owns one reference to an interface.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }
    // For CoCreateInstance and friends: releases what is held and hands out the slot.
    void** PutVoid() noexcept {
        Reset();
        return reinterpret_cast<void**>(&m_ptr);
    }
    // Clears the pointer before releasing, so nothing can reach a half-released object.
    void Reset() noexcept {
        if (T* old = std::exchange(m_ptr, nullptr)) {
            old->Release();
        }
    }

private:
    T* m_ptr = nullptr;
};

}  // namespace pelicor
