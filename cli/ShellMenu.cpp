#include "cli/ShellMenu.h"

#include "support/UniqueHandle.h"

namespace {

// The string value `name` of `key` ("" for the default), or empty when absent.
std::wstring ReadString(HKEY key, const wchar_t* name)
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return {};
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

// Sets a string value unless it holds exactly that already.
LSTATUS WriteString(HKEY key, const wchar_t* name, const std::wstring& value, bool& changed)
{
    if (ReadString(key, name) == value) return ERROR_SUCCESS;
    changed = true;
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

} // namespace

std::wstring ShellMenuCommand(const std::wstring& programPath) { return L"\"" + programPath + L"\" \"%1\""; }

LSTATUS InstallShellMenu(const std::wstring& programPath, bool& changed)
{
    changed = false;
    UniqueRegKey entry, command;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kShellMenuKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                       entry.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    if ((status = WriteString(entry.get(), nullptr, kShellMenuText, changed)) != ERROR_SUCCESS) return status;
    if ((status = WriteString(entry.get(), L"Icon", L"\"" + programPath + L"\",0", changed)) != ERROR_SUCCESS)
        return status;
    status = ::RegCreateKeyExW(entry.get(), L"command", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, command.put(),
                               nullptr);
    if (status != ERROR_SUCCESS) return status;
    return WriteString(command.get(), nullptr, ShellMenuCommand(programPath), changed);
}

LSTATUS UninstallShellMenu(bool& changed)
{
    changed = false;
    LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, kShellMenuKey);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    changed = status == ERROR_SUCCESS;
    return status;
}
