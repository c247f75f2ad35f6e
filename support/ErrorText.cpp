#include "support/ErrorText.h"

#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {
constexpr DWORD kInternetFirst = 12000;
constexpr DWORD kInternetLast = 12175;

// wininet.dll from the system directory, never from wherever the search path points.
UniqueModule LoadInternetMessages()
{
    wchar_t dir[MAX_PATH] = {};
    UINT len = ::GetSystemDirectoryW(dir, MAX_PATH);
    std::wstring path;
    if (len != 0 && len < MAX_PATH) {
        path.assign(dir, len);
        if (path.back() != L'\\' && path.back() != L'/') path.push_back(L'\\');
    }
    path += L"wininet.dll";
    return UniqueModule(::LoadLibraryW(path.c_str()));
}
} // namespace

std::wstring GetErrorText(DWORD code)
{
    std::wstring text;
    if (code == 0) return text;
    switch (code) {
    case kErrorRecycleBinRefused:
        return L"The Recycle Bin cannot take this item, so it was left where it is.";
    case kErrorItemRemains:
        return L"The item is still there after it was sent to the Recycle Bin.";
    case kErrorUnreadableKeepList:
        return L"A do-not-delete file could not be read, so nothing was removed.";
    case kErrorNoRestoreCommand:
        return L"The Recycle Bin offers no command that restores this item.";
    case kErrorNotRestored:
        return L"The Recycle Bin did not put the item back in its place.";
    case kErrorRestoreAmbiguous:
        return L"The Recycle Bin holds more than one item from this place deleted during the clean-up; restore it by hand.";
    default:
        break;
    }

    wchar_t* buffer = nullptr;
    if (code >= kInternetFirst && code <= kInternetLast) {
        UniqueModule wininet = LoadInternetMessages();   // freed right after the lookup
        if (wininet) {
            ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             wininet.get(), code, LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&buffer), 0,
                             nullptr);
        }
    } else {
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                         nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    }
    if (buffer) {
        UniqueLocal owner(buffer);
        text = buffer;
    }
    return RemoveChar(RemoveChar(std::move(text), L'\r'), L'\n');
}
