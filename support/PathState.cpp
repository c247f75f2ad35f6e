#include "support/PathState.h"

#include <windows.h>

#include "support/PathUtil.h"

ObjectState LookAt(const std::wstring& path, unsigned long* unseen)
{
    if (unseen) *unseen = 0;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return ObjectState::Missing;
        if (unseen) *unseen = code;
        return ObjectState::Other;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return ObjectState::ReparsePoint;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ObjectState::Folder;
    return ObjectState::Other;
}

bool ShellTakesPath(const std::wstring& path)
{
    return path.size() < MAX_PATH;
}
