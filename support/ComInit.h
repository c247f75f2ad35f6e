#pragma once
// COM for the life of a scope, on the calling thread. Only a call that succeeded
// (S_OK, or S_FALSE when the thread already had the same apartment) is
// balanced with CoUninitialize: a thread whose COM another part initialised
// differently (RPC_E_CHANGED_MODE) is left exactly as it was.
#include <windows.h>
#include <objbase.h>

class ScopedComInit {
public:
    explicit ScopedComInit(DWORD model = COINIT_APARTMENTTHREADED) noexcept : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~ScopedComInit()
    {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;

    HRESULT result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};
