// Recycling through the shell's copy engine (IFileOperation). A progress sink
// of our own sees every item before and after the shell acts: it refuses any
// delete that would not go to the Recycle Bin, so nothing is ever destroyed,
// and it reports each item's own result. Consecutive items of one kind share
// one operation. Everything here runs on the apartment-threaded COM thread that
// created the recycler, inside PerformOperations.
#include "engine/FileOperationRecycler.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "engine/DestroyRefusal.h"
#include "engine/Executor.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// Published figures put 200 paths per operation at about a third of the time
// of one operation per path.
constexpr size_t kBatchItems = 200;
constexpr size_t kNone = static_cast<size_t>(-1);

// Any failure code, or ERROR_GEN_FAILURE for an answer that maps to none.
DWORD FailureCode(HRESULT hr)
{
    const DWORD code = PostDeleteCode(hr);
    return code != 0 ? code : ERROR_GEN_FAILURE;
}

class CFileOperationRecycler;

// The sink the shell calls while one operation runs; it hands every delete on
// to the recycler, and answers S_OK to everything else.
class CDeleteSink final : public IFileOperationProgressSink {
public:
    explicit CDeleteSink(CFileOperationRecycler& recycler) noexcept : m_recycler(&recycler) {}
    // The operation is over: whatever still holds the sink reaches nothing.
    void Detach() noexcept { m_recycler = nullptr; }

    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IFileOperationProgressSink)) {
            *ppv = static_cast<IFileOperationProgressSink*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_refs); }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return refs;
    }

    IFACEMETHODIMP PreDeleteItem(DWORD flags, IShellItem* item) override;
    IFACEMETHODIMP PostDeleteItem(DWORD flags, IShellItem* item, HRESULT hrDelete, IShellItem* newlyCreated) override;

    IFACEMETHODIMP StartOperations() override { return S_OK; }
    IFACEMETHODIMP FinishOperations(HRESULT) override { return S_OK; }
    IFACEMETHODIMP PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    IFACEMETHODIMP PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override { return S_OK; }
    IFACEMETHODIMP PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    IFACEMETHODIMP PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override { return S_OK; }
    IFACEMETHODIMP PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    IFACEMETHODIMP PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override { return S_OK; }
    IFACEMETHODIMP PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    IFACEMETHODIMP PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem*) override { return S_OK; }
    IFACEMETHODIMP UpdateProgress(UINT, UINT) override { return S_OK; }
    IFACEMETHODIMP ResetTimer() override { return S_OK; }
    IFACEMETHODIMP PauseTimer() override { return S_OK; }
    IFACEMETHODIMP ResumeTimer() override { return S_OK; }

private:
    ~CDeleteSink() = default;

    LONG m_refs = 1;
    CFileOperationRecycler* m_recycler;
};

class CFileOperationRecycler final : public IRecycler {
public:
    CFileOperationRecycler(HWND owner, Done done) : m_owner(owner), m_done(std::move(done)) {}

    bool Add(const std::wstring& path, RecycleKind kind) override;
    bool Flush() override;

    // From the sink, while PerformOperations runs.
    HRESULT OnPreDelete(DWORD flags, IShellItem* item);
    HRESULT OnPostDelete(IShellItem* item, HRESULT hrDelete);
    void OnException() noexcept { m_exception = std::current_exception(); m_stopped = true; }

private:
    struct BATCH_ITEM {
        std::wstring path;
        UniqueCom<IShellItem> item;
        bool reported = false;
    };

    bool Report(size_t index, DWORD code);
    size_t Find(IShellItem* item) const;
    bool PerformRound(size_t& first);

    HWND m_owner;
    Done m_done;
    RecycleKind m_kind = RecycleKind::File;
    std::vector<BATCH_ITEM> m_batch;
    // The operation under way: its items [m_roundFirst, m_roundEnd) of the
    // batch, the one the shell is working on and the one the sink refused.
    size_t m_roundFirst = 0;
    size_t m_roundEnd = 0;
    size_t m_current = 0;
    size_t m_refused = kNone;
    bool m_stopped = false;
    std::exception_ptr m_exception;   // thrown by `done` inside the shell, rethrown outside it
};

IFACEMETHODIMP CDeleteSink::PreDeleteItem(DWORD flags, IShellItem* item)
{
    if (!m_recycler) return PreDeleteVerdict(flags);
    try {
        return m_recycler->OnPreDelete(flags, item);
    } catch (...) {
        m_recycler->OnException();
        return E_ABORT;
    }
}

IFACEMETHODIMP CDeleteSink::PostDeleteItem(DWORD, IShellItem* item, HRESULT hrDelete, IShellItem*)
{
    if (!m_recycler) return S_OK;
    try {
        return m_recycler->OnPostDelete(item, hrDelete);
    } catch (...) {
        m_recycler->OnException();
        return E_ABORT;
    }
}

bool CFileOperationRecycler::Add(const std::wstring& path, RecycleKind kind)
{
    if (!m_batch.empty() && (kind != m_kind || m_batch.size() >= kBatchItems) && !Flush()) return false;

    DWORD code = 0;
    UniqueCom<IShellItem> item;
    if (path.empty()) {
        code = static_cast<DWORD>(-1);
    } else if (HasStrippedComponent(path)) {
        // The shell knows only the ordinary form, which would name another
        // object (or none): such an item fails on its own.
        code = ERROR_INVALID_NAME;
    } else {
        const HRESULT hr = ::SHCreateItemFromParsingName(path.c_str(), nullptr, __uuidof(IShellItem), item.put_void());
        // A path that no longer parses because the item vanished maps to 0: gone.
        if (FAILED(hr)) {
            item.reset();
            code = PostDeleteCode(hr);
        }
    }
    // An item that never reaches the shell is answered in its turn, after
    // everything queued before it.
    if (!item) return Flush() && m_done(path, code);
    m_kind = kind;
    m_batch.push_back({path, std::move(item)});
    return true;
}

bool CFileOperationRecycler::Flush()
{
    bool goOn = true;
    size_t first = 0;
    while (goOn && first < m_batch.size()) goOn = PerformRound(first);
    m_batch.clear();
    if (m_exception) std::rethrow_exception(std::exchange(m_exception, nullptr));
    return goOn;
}

// One operation over the batch's unanswered items from `first` on. Answers
// every item it settles and moves `first` past them; false when `done` asked
// to stop. A refused item cancels the rest of its operation, which the next
// round takes up again: a failed item never stops the others.
bool CFileOperationRecycler::PerformRound(size_t& first)
{
    UniqueCom<IFileOperation> operation;
    UniqueCom<CDeleteSink> sink(new (std::nothrow) CDeleteSink(*this));
    HRESULT hr = sink ? ::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                           operation.put_void())
                      : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = operation.get()->SetOperationFlags(FileOperationFlags(m_kind));
    if (SUCCEEDED(hr) && m_owner) hr = operation.get()->SetOwnerWindow(m_owner);
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) hr = operation.get()->Advise(sink.get(), &cookie);

    size_t end = first;
    while (SUCCEEDED(hr) && end < m_batch.size()) {
        if (!m_batch[end].reported) hr = operation.get()->DeleteItem(m_batch[end].item.get(), nullptr);
        if (SUCCEEDED(hr)) ++end;
    }
    const HRESULT queued = hr;   // a failure: m_batch[end] could not be queued

    HRESULT performed = S_OK;
    BOOL aborted = FALSE;
    bool warningRefused = false;
    m_stopped = false;
    m_refused = kNone;
    if (end > first) {
        m_roundFirst = first;
        m_roundEnd = end;
        m_current = first;
        CountShellDeleteCall();
        ScopedDestroyRefusal refusal;
        performed = operation.get()->PerformOperations();
        warningRefused = refusal.Refused();
        if (FAILED(operation.get()->GetAnyOperationsAborted(&aborted))) aborted = TRUE;
    }
    if (cookie) operation.get()->Unadvise(cookie);
    if (sink) sink.get()->Detach();
    if (m_stopped) return false;

    // Items the shell gave no word on: what the whole operation answered.
    const DWORD unanswered = warningRefused       ? kErrorRecycleBinRefused
                             : FAILED(performed) ? FailureCode(performed)
                             : aborted           ? ERROR_GEN_FAILURE
                                                 : 0;
    for (size_t i = first; i < end; ++i) {
        if (m_batch[i].reported) continue;
        // Cancelled together with the refused item, never tried: another round.
        if (m_refused != kNone && i > m_refused) {
            first = i;
            return true;
        }
        if (!Report(i, unanswered)) return false;
    }
    first = end;
    if (FAILED(queued) && end < m_batch.size()) {
        if (!Report(end, FailureCode(queued))) return false;
        first = end + 1;
    }
    return true;
}

HRESULT CFileOperationRecycler::OnPreDelete(DWORD flags, IShellItem* item)
{
    const size_t index = Find(item);
    if (index != kNone) m_current = index;
    const HRESULT verdict = PreDeleteVerdict(flags);
    if (FAILED(verdict) && m_refused == kNone) {
        // The shell would destroy this item, or a part of the one it works
        // on: that item stays where it is, and fails.
        m_refused = index != kNone ? index : m_current;
        if (!m_batch[m_refused].reported) Report(m_refused, kErrorRecycleBinRefused);
    }
    return verdict;
}

HRESULT CFileOperationRecycler::OnPostDelete(IShellItem* item, HRESULT hrDelete)
{
    // The parts of a folder are not items of ours; a refused item was answered before.
    const size_t index = Find(item);
    if (index != kNone && !m_batch[index].reported) Report(index, PostDeleteCode(hrDelete));
    // An error answer is the documented way to cancel the rest of the operation.
    return m_stopped ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
}

bool CFileOperationRecycler::Report(size_t index, DWORD code)
{
    m_batch[index].reported = true;
    if (!m_done(m_batch[index].path, code)) m_stopped = true;
    return !m_stopped;
}

// The operation's item that `item` names, or kNone. The shell takes the items
// in order, so the search starts at the one it is working on.
size_t CFileOperationRecycler::Find(IShellItem* item) const
{
    const size_t count = m_roundEnd - m_roundFirst;
    if (!item || count == 0) return kNone;
    for (size_t n = 0; n < count; ++n) {
        const size_t i = m_roundFirst + (m_current - m_roundFirst + n) % count;
        IShellItem* queued = m_batch[i].item.get();
        int order = 1;
        if (queued == item || (queued->Compare(item, SICHINT_CANONICAL, &order) == S_OK && order == 0)) return i;
    }
    return kNone;
}

// This program's own file: an item that is sure to exist, for a probe that
// never performs its operation.
std::wstring OwnFilePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

HRESULT PreDeleteVerdict(DWORD tsfFlags)
{
    return (tsfFlags & TSF_DELETE_RECYCLE_IF_POSSIBLE) ? S_OK : kDestroyRefused;
}

DWORD PostDeleteCode(HRESULT hrDelete)
{
    switch (hrDelete) {
    case S_OK:
    case COPYENGINE_S_ALREADY_DONE:
    // Gone before the shell came to it: as good as deleted.
    case COPYENGINE_E_PATH_NOT_FOUND_SRC:
        return 0;
    case kDestroyRefused:
    case COPYENGINE_E_RECYCLE_UNKNOWN_ERROR:
    case COPYENGINE_E_RECYCLE_FORCE_NUKE:
    case COPYENGINE_E_RECYCLE_SIZE_TOO_BIG:
    case COPYENGINE_E_RECYCLE_PATH_TOO_LONG:
    case COPYENGINE_E_RECYCLE_BIN_NOT_FOUND:
        return kErrorRecycleBinRefused;
    case COPYENGINE_E_ACCESS_DENIED_SRC:
        return ERROR_ACCESS_DENIED;
    case COPYENGINE_E_SHARING_VIOLATION_SRC:
        return ERROR_SHARING_VIOLATION;
    default:
        break;
    }
    if (FAILED(hrDelete) && HRESULT_FACILITY(hrDelete) == FACILITY_WIN32) {
        const DWORD code = HRESULT_CODE(hrDelete);
        return (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? 0 : code;
    }
    return static_cast<DWORD>(hrDelete);
}

DWORD FileOperationFlags(RecycleKind kind)
{
    // Not FOFX_EARLYFAILURE: that would end the whole operation at the first
    // item that fails, while a failed item must not stop the others. With
    // FOF_NOERRORUI alone the shell goes on past it, and the sink hears why.
    return ShellFlagsFor(kind) | FOFX_RECYCLEONDELETE;
}

HRESULT ProbeFileOperationDeletes()
{
    UniqueCom<IFileOperation> operation;
    HRESULT hr = ::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                    operation.put_void());
    UniqueCom<IShellItem> item;
    if (SUCCEEDED(hr)) hr = ::SHCreateItemFromParsingName(OwnFilePath().c_str(), nullptr, __uuidof(IShellItem), item.put_void());
    if (SUCCEEDED(hr)) hr = operation.get()->DeleteItem(item.get(), nullptr);
    if (SUCCEEDED(hr)) hr = operation.get()->SetOperationFlags(FileOperationFlags(RecycleKind::File));
    // Released unperformed: the queued delete goes with the operation.
    return hr;
}

std::unique_ptr<IRecycler> CreateFileOperationRecycler(HWND owner, IRecycler::Done done)
{
    return std::make_unique<CFileOperationRecycler>(owner, std::move(done));
}
