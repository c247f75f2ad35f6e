#include "engine/Recycler.h"

#include <objbase.h>

#include "engine/Executor.h"
#include "engine/FileOperationRecycler.h"

namespace {

// Today's path: one SHFileOperationW call per item, answered at once.
class CShellDeleteRecycler final : public IRecycler {
public:
    CShellDeleteRecycler(HWND owner, Done done) : m_owner(owner), m_done(std::move(done)) {}

    bool Add(const std::wstring& path, RecycleKind kind) override
    {
        return m_done(path, ShellDeleteItem(path, ShellFlagsFor(kind), m_owner, GoneCheck::ByCaller));
    }
    bool Flush() override { return true; }

private:
    HWND m_owner;
    Done m_done;
};

// IFileOperation wants an apartment-threaded COM thread; any other thread
// (no COM, or the multithreaded apartment) keeps to today's path.
bool IsApartmentThreaded()
{
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return SUCCEEDED(::CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
}

bool UsesFileOperation()
{
    if (!IsApartmentThreaded()) return false;
    // Asked on the first apartment-threaded thread that wants to know, then kept.
    static const bool accepted = SUCCEEDED(ProbeFileOperationDeletes());
    return accepted;
}

} // namespace

FILEOP_FLAGS ShellFlagsFor(RecycleKind kind)
{
    switch (kind) {
    case RecycleKind::File: return kShellFlagsFile;
    case RecycleKind::FolderNoRecursion: return kShellFlagsFolderNoRecursion;
    case RecycleKind::FolderTree: break;
    }
    return kShellFlagsFolderTree;
}

std::unique_ptr<IRecycler> CreateRecycler(HWND owner, IRecycler::Done done)
{
    if (UsesFileOperation()) return CreateFileOperationRecycler(owner, std::move(done));
    return std::make_unique<CShellDeleteRecycler>(owner, std::move(done));
}

const wchar_t* ActiveDeleterName()
{
    return UsesFileOperation() ? L"IFileOperation" : L"SHFileOperation";
}
