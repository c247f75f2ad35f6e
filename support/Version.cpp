#include "support/Version.h"

namespace {
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using RtlNtStatusToDosErrorFn = ULONG(WINAPI*)(LONG);

// Asks ntdll for the true version; answers 0 or a Windows error code.
DWORD QueryTrueVersion(OSVERSIONINFOEXW& v)
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return ERROR_NOT_SUPPORTED;
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    if (!rtlGetVersion) return ERROR_NOT_SUPPORTED;
    ZeroMemory(&v, sizeof(v));
    v.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    LONG status = rtlGetVersion(&v);
    if (status == 0) return 0;
    auto toDos = reinterpret_cast<RtlNtStatusToDosErrorFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
    DWORD code = toDos ? toDos(status) : ERROR_MR_MID_NOT_FOUND;
    return (code == ERROR_MR_MID_NOT_FOUND) ? static_cast<DWORD>(status) : code;
}

BOOL FallBack(OSVERSIONINFOW* info)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ::GetVersionExW(info);
#pragma GCC diagnostic pop
}
} // namespace

BOOL GetOSVersion(OSVERSIONINFOW* info)
{
    if (!info) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    OSVERSIONINFOEXW v;
    if (QueryTrueVersion(v) != 0) return FallBack(info);

    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOW) ||
        info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        info->dwMajorVersion = v.dwMajorVersion;
        info->dwMinorVersion = v.dwMinorVersion;
        info->dwBuildNumber = v.dwBuildNumber;
        info->dwPlatformId = v.dwPlatformId;
        static_assert(sizeof(info->szCSDVersion) == sizeof(v.szCSDVersion));
        memcpy(info->szCSDVersion, v.szCSDVersion, sizeof(v.szCSDVersion));
        if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
            auto* ex = reinterpret_cast<OSVERSIONINFOEXW*>(info);
            ex->wServicePackMajor = v.wServicePackMajor;
            ex->wServicePackMinor = v.wServicePackMinor;
            ex->wSuiteMask = v.wSuiteMask;
            ex->wProductType = v.wProductType;
            ex->wReserved = v.wReserved;
        }
        ::SetLastError(0);
        return TRUE;
    }
    return FallBack(info);
}

BOOL IsWindows7OrLater()
{
    // The short record is asked for; the larger object only gives the compiler
    // room to see that the extended fields are never written past its end.
    OSVERSIONINFOEXW storage{};
    OSVERSIONINFOW& info = *reinterpret_cast<OSVERSIONINFOW*>(&storage);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!GetOSVersion(&info)) return FALSE;
    return info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 1);
}
