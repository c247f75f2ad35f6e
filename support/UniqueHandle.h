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

private:
    pointer m_h = Traits::invalid();
};

namespace handle_traits {
template <typename T, T Invalid, auto Close>
struct Basic {
    using pointer = T;
    static constexpr T invalid() noexcept { return Invalid; }
    static void close(T h) noexcept { Close(h); }
};
struct Find {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::FindClose(h); }
};
struct File {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct Kernel {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CloseHandle(h); }
};
struct Module {
    using pointer = HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::FreeLibrary(h); }
};
struct ItemList {
    using pointer = LPITEMIDLIST;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CoTaskMemFree(h); }
};
struct CoTaskString {
    using pointer = PWSTR;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::CoTaskMemFree(h); }
};
struct Drop {
    using pointer = HDROP;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DragFinish(h); }
};
struct LocalMem {
    using pointer = HLOCAL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::LocalFree(h); }
};
template <typename T>
struct GdiObject {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DeleteObject(h); }
};
struct Icon {
    using pointer = HICON;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyIcon(h); }
};
struct Accel {
    using pointer = HACCEL;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyAcceleratorTable(h); }
};
struct Menu {
    using pointer = HMENU;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::DestroyMenu(h); }
};
struct Hook {
    using pointer = HHOOK;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::UnhookWindowsHookEx(h); }
};
struct RegKey {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer h) noexcept { ::RegCloseKey(h); }
};
} // namespace handle_traits

using UniqueFind     = UniqueHandle<handle_traits::Find>;
using UniqueFile     = UniqueHandle<handle_traits::File>;
using UniqueKernel   = UniqueHandle<handle_traits::Kernel>;
using UniqueModule   = UniqueHandle<handle_traits::Module>;
using UniqueItemList = UniqueHandle<handle_traits::ItemList>;
using UniqueDrop     = UniqueHandle<handle_traits::Drop>;
using UniqueCoString = UniqueHandle<handle_traits::CoTaskString>;
using UniqueLocal    = UniqueHandle<handle_traits::LocalMem>;
using UniqueBrush    = UniqueHandle<handle_traits::GdiObject<HBRUSH>>;
using UniqueBitmap   = UniqueHandle<handle_traits::GdiObject<HBITMAP>>;
using UniqueFont     = UniqueHandle<handle_traits::GdiObject<HFONT>>;
using UniqueIcon     = UniqueHandle<handle_traits::Icon>;
using UniqueAccel    = UniqueHandle<handle_traits::Accel>;
using UniqueRegKey   = UniqueHandle<handle_traits::RegKey>;
using UniqueHook     = UniqueHandle<handle_traits::Hook>;
using UniqueMenu     = UniqueHandle<handle_traits::Menu>;

// COM for a scope on this thread (the shell's folders need it); uninitialised
// whatever CoInitialize answered.
class ScopedComInit {
public:
    ScopedComInit() noexcept { (void)::CoInitialize(nullptr); }
    ~ScopedComInit() { ::CoUninitialize(); }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
};

// One reference to a COM object, released when the owner goes.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_p, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    void reset(T* p = nullptr) noexcept {
        if (m_p) m_p->Release();
        m_p = p;
    }
    // For APIs that hand a new reference back through an out parameter.
    T** put() noexcept { reset(); return &m_p; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* m_p = nullptr;
};

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

// Selects a GDI object into a DC and selects the previous one back on exit.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC hdc, HGDIOBJ obj) noexcept : m_hdc(hdc), m_prev(::SelectObject(hdc, obj)) {}
    ~ScopedSelectObject() { if (m_prev && m_prev != HGDI_ERROR) ::SelectObject(m_hdc, m_prev); }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
private:
    HDC m_hdc;
    HGDIOBJ m_prev;
};
