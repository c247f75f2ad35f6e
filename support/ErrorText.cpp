#include "support/ErrorText.h"

#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {
constexpr DWORD kInternetFirst = 12000;
constexpr DWORD kInternetLast = 12175;
constexpr DWORD kFacilityCopyEngine = 0x27;   // FACILITY_SHELL's copy engine (sherrors.h)

// The copy engine's answers that reach a log line: the codes it gives for one
// item, successes that leave the item where it is included. No system message
// table holds them.
std::wstring CopyEngineText(DWORD code)
{
    switch (code) {
    case 0x00270001: return L"The shell's copy engine answered Yes.";
    case 0x00270003: return L"The shell's copy engine did not handle the item.";
    case 0x00270004: return L"The shell's copy engine was asked to try the item again.";
    case 0x00270005: return L"The shell's copy engine passed over the item (ignored), so it was left where it is.";
    case 0x00270006: return L"The shell's copy engine merged the folder instead of removing it.";
    case 0x00270008: return L"The shell's copy engine did not process the folder's contents.";
    case 0x0027000A: return L"The shell's copy engine had already handled the item.";
    case 0x0027000B: return L"The shell's copy engine has not finished with the item yet.";
    case 0x0027000C: return L"The shell's copy engine kept both items.";
    case 0x0027000D: return L"The shell's copy engine asked for a program to be closed.";
    case 0x0027000E: return L"The shell's copy engine resolved a name collision.";
    case 0x0027000F: return L"The shell's copy engine paused.";
    case 0x00270010: return L"The shell's copy engine started an asynchronous delete that has not finished.";
    case 0x00270011: return L"The shell's copy engine queued the item for a later retry.";
    case 0x80270000: return L"The operation was cancelled by the user.";
    case 0x80270001: return L"The operation was cancelled.";
    case 0x80270002: return L"The operation requires elevation.";
    case 0x80270021: return L"Access to the item was denied.";
    case 0x80270023: return L"The item could not be found.";
    case 0x80270025: return L"The network connection to the item was lost.";
    case 0x80270027: return L"The item is in use by another program.";
    case 0x80270035: return L"The Recycle Bin could not take the item for an unknown reason.";
    case 0x80270036: return L"The item would have been deleted permanently instead of going to the Recycle Bin.";
    case 0x80270037: return L"The item is too large for the Recycle Bin.";
    case 0x80270038: return L"The item's path is too long for the Recycle Bin.";
    case 0x8027003A: return L"The drive has no Recycle Bin.";
    case 0x8027003D: return L"The folder is not empty.";
    case 0x8027003F: return L"The item is read-only.";
    default: break;
    }
    return FormatText(L"The shell's copy engine answered 0x%08lX.", static_cast<unsigned long>(code));
}

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
    case kErrorItemDestroyed:
        return L"The shell deleted this item permanently instead of sending it to the Recycle Bin.";
    case kErrorRecyclingStopped:
        return L"An earlier item was deleted permanently, so nothing more is sent to the Recycle Bin until Mopwright is started again.";
    case kErrorNoDeleter:
        return L"The shell's file operation failed its check, so nothing is sent to the Recycle Bin.";
    case kErrorRestoreRunning:
        return L"Another restore of this folder is under way.";
    case kErrorOutsideFolder:
        return L"The journal names a place outside its solution folder, so it was left alone.";
    case kErrorPathTooLongForShell:
        return L"The path is too long for the shell to send the item to the Recycle Bin, so it was left where it is.";
    case kErrorUnreadableGitIndex:
        return L"A git index could not be read, so nothing was removed.";
    case kErrorGitIndexVersion:
        return L"The git index is of a version that Mopwright cannot read (it reads versions 2, 3 and 4).";
    case kErrorGitIndexExtension:
        return L"The git index requires an extension that Mopwright does not know.";
    case kErrorGitIndexChecksum:
        return L"The git index does not match its checksum: it is damaged.";
    case kErrorGitIndexCutOff:
        return L"The git index ends too early: it is cut off.";
    case kErrorGitIndexMalformed:
        return L"The file is not a git index as git writes it.";
    case kErrorGitSharedIndexMissing:
        return L"The shared index file that this split git index is based on is missing.";
    case kErrorGitLinkBroken:
        return L"The .git file names no git folder.";
    case kErrorGitObjectFormat:
        return L"The git repository names its objects neither by SHA-1 nor by SHA-256.";
    default:
        break;
    }

    if (HRESULT_FACILITY(code) == kFacilityCopyEngine) return CopyEngineText(code);

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

DWORD ErrorFromResult(HRESULT hr)
{
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
}
