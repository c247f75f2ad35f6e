#include "engine/recycling/ShellDelete.h"

#include <new>
#include <vector>

#include "engine/recycling/Counters.h"
#include "engine/recycling/DestroyPromptHook.h"
#include "support/ErrorText.h"
#include "support/PathState.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// The shell's own answer for a path that does not exist (not a system code).
constexpr int kShellInvalidPath = 0x7C;

// The shell offered to destroy `path` instead of recycling it, and was told
// No. Some shells ask this for an object that has vanished meanwhile, or one
// that another program holds open: say which, else that the bin refused it.
DWORD WhyNotRecycled(const std::wstring& path)
{
    switch (LookAt(path)) {
    case ObjectState::Missing: return 0;
    case ObjectState::Folder: return kErrorRecycleBinRefused;
    default: break;
    }
    UniqueFile probe(::CreateFileW(LongPathForm(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!probe) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION)
            return error;
    }
    return kErrorRecycleBinRefused;
}

} // namespace

DWORD ShellDeleteItem(const std::wstring& path, FILEOP_FLAGS flags, HWND owner)
{
    if (path.empty()) return static_cast<DWORD>(-1);
    // The shell knows only the ordinary form, which would name another object
    // (or none): such an item fails on its own.
    if (HasStrippedComponent(path)) return ERROR_INVALID_NAME;
    if (!ShellTakesPath(path)) return kErrorPathTooLongForShell;

    // The shell takes a list of names, each NUL-terminated, the list ending in
    // a second NUL: here a list of exactly one name.
    std::vector<wchar_t> from;
    try {
        from.assign(path.size() + 2, L'\0');
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
    path.copy(from.data(), path.size());

    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.pTo = nullptr;
    op.fFlags = flags;
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = nullptr;
    CountShellDeleteCall();
    ScopedDestroyRefusal refusal;
    const int result = ::SHFileOperationW(&op);

    DWORD code = static_cast<DWORD>(result);
    if (refusal.Refused()) code = WhyNotRecycled(path);
    else if (result == 0) code = op.fAnyOperationsAborted ? ERROR_GEN_FAILURE : 0;
    // Not found (2) and the shell's invalid path (0x7C): the object is already gone.
    else if (result == ERROR_FILE_NOT_FOUND || result == kShellInvalidPath) code = 0;
    return code;
}

FILEOP_FLAGS ShellFlagsFor(RecycleKind kind)
{
    switch (kind) {
    case RecycleKind::File: return kShellFlagsFile;
    case RecycleKind::FolderNoRecursion: return kShellFlagsFolderNoRecursion;
    case RecycleKind::FolderTree: break;
    }
    return kShellFlagsFolderTree;
}
