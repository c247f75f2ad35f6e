#include "framework/App.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

#include <vector>

namespace {
CWinApp* g_pApp = nullptr;

std::wstring ModuleBaseName(HMODULE module) {
    const std::wstring path = ModulePath(module);
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}
} // namespace

CWinApp::CWinApp() : m_hInstance(::GetModuleHandleW(nullptr)), m_strAppName(ModuleBaseName(nullptr)) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::OnIdle(LONG) {
    return FALSE;
}

void CWinApp::SetRegistryKey(const wchar_t* company) {
    m_strRegistryKey = company ? company : L"";
}

std::wstring CWinApp::GetSectionKeyPath(const wchar_t* section) const {
    return L"Software\\" + m_strRegistryKey + L"\\" + m_strAppName + L"\\" + section;
}

UINT CWinApp::GetProfileInt(const wchar_t* section, const wchar_t* entry, int defaultValue) const {
    if (m_strRegistryKey.empty()) return static_cast<UINT>(defaultValue);
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, GetSectionKeyPath(section).c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return static_cast<UINT>(defaultValue);
    DWORD value = 0, type = 0, size = sizeof(value);
    if (::RegQueryValueExW(key.get(), entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return static_cast<UINT>(defaultValue);
    return value;
}

BOOL CWinApp::WriteProfileInt(const wchar_t* section, const wchar_t* entry, int value) const {
    if (m_strRegistryKey.empty()) return FALSE;
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, GetSectionKeyPath(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return FALSE;
    DWORD data = static_cast<DWORD>(value);
    return ::RegSetValueExW(key.get(), entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data)) ==
           ERROR_SUCCESS;
}

CWinApp* AfxGetApp() {
    return g_pApp;
}



CWaitCursor::CWaitCursor() noexcept : m_hPrevCursor(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}

CWaitCursor::~CWaitCursor() {
    ::SetCursor(m_hPrevCursor);
}

void CWaitCursor::Restore() noexcept {
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}
