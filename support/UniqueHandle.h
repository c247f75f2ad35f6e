#pragma once
// One move-only owner for every kind of Windows handle. A tiny traits type per
// kind says what "no handle" is and how to release one; copying is impossible,
// so a handle can never be released twice.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer h) noexcept : m_h(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    pointer get() const noexcept { return m_h; }
    bool valid() const noexcept { return m_h != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Releases the handle it holds (if any) before taking the new one.
    void reset(pointer h = Traits::invalid()) noexcept {
        if (m_h != Traits::invalid()) {
            DWORD saved = GetLastError();   // closing must not disturb the caller's error code
            Traits::close(m_h);
            SetLastError(saved);
        }
        m_h = h;
    }
    pointer release() noexcept { return std::exchange(m_h, Traits::invalid()); }

    // For APIs that hand a new handle back through an out parameter.
    pointer* put() noexcept { reset(); return &m_h; }
    // The same for APIs that hand a new interface back as void** (CoCreateInstance and the like).
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    // A COM interface's methods.
    pointer operator->() const noexcept { return m_h; }

private:
    pointer m_h = Traits::invalid();
};

namespace handle_traits {
// Handles for which null means "none".
template <typename T, auto Close>
struct NullMeansNone {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { Close(h); }
};
// Handles for which INVALID_HANDLE_VALUE means "none".
template <auto Close>
struct InvalidMeansNone {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { Close(h); }
};
// A COM interface pointer: released once, never AddRef'd behind the owner's back.
template <typename T>
struct ComObject {
    using pointer = T*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer p) noexcept { p->Release(); }
};
} // namespace handle_traits

using UniqueFind     = UniqueHandle<handle_traits::InvalidMeansNone<&::FindClose>>;
using UniqueFile     = UniqueHandle<handle_traits::InvalidMeansNone<&::CloseHandle>>;
using UniqueKernel   = UniqueHandle<handle_traits::NullMeansNone<HANDLE, &::CloseHandle>>;
using UniqueModule   = UniqueHandle<handle_traits::NullMeansNone<HMODULE, &::FreeLibrary>>;
using UniqueItemList = UniqueHandle<handle_traits::NullMeansNone<LPITEMIDLIST, &::CoTaskMemFree>>;
using UniqueCoString = UniqueHandle<handle_traits::NullMeansNone<PWSTR, &::CoTaskMemFree>>;
using UniqueDrop     = UniqueHandle<handle_traits::NullMeansNone<HDROP, &::DragFinish>>;
using UniqueLocal    = UniqueHandle<handle_traits::NullMeansNone<HLOCAL, &::LocalFree>>;
using UniqueIcon     = UniqueHandle<handle_traits::NullMeansNone<HICON, &::DestroyIcon>>;
using UniqueRegKey   = UniqueHandle<handle_traits::NullMeansNone<HKEY, &::RegCloseKey>>;
using UniqueHook     = UniqueHandle<handle_traits::NullMeansNone<HHOOK, &::UnhookWindowsHookEx>>;
using UniqueMenu     = UniqueHandle<handle_traits::NullMeansNone<HMENU, &::DestroyMenu>>;
template <typename T>
using UniqueCom      = UniqueHandle<handle_traits::ComObject<T>>;


// A device context from GetDC, released with ReleaseDC for the same window.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hwnd) noexcept : m_hwnd(hwnd), m_hdc(::GetDC(hwnd)) {}
    ~ScopedWindowDC() { if (m_hdc) ::ReleaseDC(m_hwnd, m_hdc); }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC get() const noexcept { return m_hdc; }
    explicit operator bool() const noexcept { return m_hdc != nullptr; }
private:
    HWND m_hwnd;
    HDC m_hdc;
};
