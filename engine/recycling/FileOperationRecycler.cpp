// Recycling through the shell's copy engine (IFileOperation). A progress sink
// of our own sees every item before and after the shell acts: it refuses any
// delete that would not go to the Recycle Bin, so nothing is ever destroyed,
// and it decides each item by its outcome: recycled only when the shell says
// so and names the item it made in the bin. Consecutive items of one kind
// share one operation. Everything here runs on the apartment-threaded COM
// thread that created the recycler, inside PerformOperations.
#include "engine/recycling/FileOperationRecycler.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <atomic>
#include <deque>
#include <exception>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "engine/recycling/DestroyPromptHook.h"
#include "engine/recycling/Counters.h"
#include "engine/recycling/ShellDelete.h"
#include "engine/recycling/VolumeBin.h"
#include "support/PathState.h"
#include "support/ComObject.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace {

// Published figures put 200 paths per operation at about a third of the time
// of one operation per path.
constexpr size_t kBatchItems = 200;
constexpr size_t kNone = static_cast<size_t>(-1);

// Set once the shell deleted an item permanently: this process sends nothing
// more to the shell's file operation.
std::atomic<bool> g_recyclingStopped{false};

// Any failure code, or ERROR_GEN_FAILURE for an answer that maps to none.
DWORD FailureCode(HRESULT hr)
{
    const DWORD code = PostDeleteCode(hr);
    return code != 0 ? code : ERROR_GEN_FAILURE;
}

std::wstring FileSystemPath(IShellItem* item)
{
    UniqueCoString path;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) return L"";
    return path.get();
}

bool IsFolderItem(IShellItem* item)
{
    SFGAOF attributes = 0;
    return item && SUCCEEDED(item->GetAttributes(SFGAO_FOLDER, &attributes)) && (attributes & SFGAO_FOLDER);
}

// TRUE when `child` (a path key) lies below `folder` (a path key).
bool IsBelow(const std::wstring& child, const std::wstring& folder)
{
    return child.size() > folder.size() && child.compare(0, folder.size(), folder) == 0 &&
           (child[folder.size()] == L'\\' || folder.back() == L'\\');
}

class CFileOperationRecycler;

// The sink the shell calls while one operation runs; it hands every delete on
// to the recycler, and answers S_OK to everything else.
class CDeleteSink final : public CFileOperationSink<> {
public:
    explicit CDeleteSink(CFileOperationRecycler& recycler) noexcept : m_recycler(&recycler) {}
    // The operation is over: whatever still holds the sink reaches nothing.
    void Detach() noexcept { m_recycler = nullptr; }

    IFACEMETHODIMP PreDeleteItem(DWORD flags, IShellItem* item) override;
    IFACEMETHODIMP PostDeleteItem(DWORD flags, IShellItem* item, HRESULT hrDelete, IShellItem* newlyCreated) override;

private:
    CFileOperationRecycler* m_recycler;
};

class CFileOperationRecycler final : public IRecycler {
public:
    CFileOperationRecycler(HWND owner, RECYCLER_EVENTS events)
        : m_owner(owner), m_events(std::move(events)), m_request(ThisSystemsRecycleRequest()) {}

    bool Add(const std::wstring& path, RecycleKind kind) override;
    bool Flush() override;

    // From the sink, while PerformOperations runs.
    HRESULT OnPreDelete(DWORD flags, IShellItem* item);
    HRESULT OnPostDelete(IShellItem* item, HRESULT hrDelete, IShellItem* newlyCreated);
    void OnException() noexcept { m_exception = std::current_exception(); m_stopped = true; }

private:
    struct BATCH_ITEM {
        std::wstring path;
        std::wstring key;   // the path's key, for the parts below it
        UniqueCom<IShellItem> item;
        bool reported = false;
    };
    using Group = std::vector<size_t>;

    bool Settle(const Group& group, std::deque<Group>& work);
    void Perform(const Group& live);
    void Report(size_t index, RECYCLE_OUTCOME outcome);
    void Line(const std::wstring& line);
    size_t Find(IShellItem* item);
    size_t OwnerOf(const std::wstring& partPath) const;
    void Destroyed(size_t index, const std::wstring& what);

    HWND m_owner;
    RECYCLER_EVENTS m_events;
    RecycleRequest m_request;
    RecycleKind m_kind = RecycleKind::File;
    std::vector<BATCH_ITEM> m_batch;
    std::set<std::wstring> m_volumesWithoutBin;   // roots, case-folded
    bool m_toldStopped = false;
    // The operation under way: its items, the one the shell works on, the
    // one the sink refused, and the first it could not queue.
    Group m_live;
    size_t m_current = 0;   // a position in m_live
    size_t m_refused = kNone;
    size_t m_unqueued = kNone;
    HRESULT m_queueError = S_OK;
    bool m_destroyedNow = false;
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

IFACEMETHODIMP CDeleteSink::PostDeleteItem(DWORD, IShellItem* item, HRESULT hrDelete, IShellItem* newlyCreated)
{
    if (!m_recycler) return S_OK;
    try {
        return m_recycler->OnPostDelete(item, hrDelete, newlyCreated);
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
    } else if (!ShellTakesPath(path)) {
        code = kErrorPathTooLongForShell;
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
    if (!item) {
        if (!Flush()) return false;
        return m_events.done(path, {code, {}, false});
    }
    m_kind = kind;
    m_batch.push_back({path, PathKey(path), std::move(item)});
    return true;
}

bool CFileOperationRecycler::Flush()
{
    Group all(m_batch.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    std::deque<Group> work;
    if (!all.empty()) work.push_back(std::move(all));
    m_stopped = false;
    while (!m_stopped && !work.empty()) {
        Group group = std::move(work.front());
        work.pop_front();
        if (!Settle(group, work)) break;
    }
    m_batch.clear();
    if (m_exception) std::rethrow_exception(std::exchange(m_exception, nullptr));
    return !m_stopped;
}

// Answers every item of `group` that needs no operation, performs one for the
// rest, and settles what it left open: an item the sink refused in company is
// tried again alone, and the items after it follow in two halves, so that an
// item the bin cannot take (which takes its neighbours' recycle flag with it)
// never fails them, and the cost stays linear. An item refused alone fails; if
// its drive's bin is off or absent, every later item on that drive fails at
// once. False when `done` asked to stop.
bool CFileOperationRecycler::Settle(const Group& group, std::deque<Group>& work)
{
    Group live;
    for (size_t i : group) {
        if (m_batch[i].reported) continue;
        if (g_recyclingStopped) {
            if (!m_toldStopped) Line(L"Nothing more is sent to the Recycle Bin in this run: an earlier item was deleted permanently.");
            m_toldStopped = true;
            Report(i, {kErrorRecyclingStopped, {}, true});
        } else if (!m_volumesWithoutBin.empty() && m_volumesWithoutBin.count(FoldPathCase(VolumeRoot(m_batch[i].path)))) {
            Report(i, {kErrorRecycleBinRefused, {}, true});
        } else {
            live.push_back(i);
        }
        if (m_stopped) return false;
    }
    if (live.empty()) return true;

    Perform(live);
    if (m_stopped) return false;

    std::vector<Group> next;
    if (m_refused != kNone) {
        Group rest;
        for (size_t i : live)
            if (i > m_refused && !m_batch[i].reported) rest.push_back(i);
        if (m_live.size() > 1) {
            next.push_back({m_refused});
            const size_t half = rest.size() / 2;
            if (half > 0) next.emplace_back(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(half));
            if (rest.size() > half) next.emplace_back(rest.begin() + static_cast<std::ptrdiff_t>(half), rest.end());
        } else {
            const std::wstring& path = m_batch[m_refused].path;
            const BinState state = VolumeBinState(path);
            if (state == BinState::On) {
                Report(m_refused, {kErrorRecycleBinRefused, {}, false});   // this item alone: too large, say
            } else {
                const std::wstring root = VolumeRoot(path);
                Line(DriveWithoutBinLine(root, state));
                m_volumesWithoutBin.insert(FoldPathCase(root));
                Report(m_refused, {kErrorRecycleBinRefused, {}, true});
            }
            if (!rest.empty()) next.push_back(std::move(rest));
        }
    } else if (m_unqueued != kNone) {
        // Not queued, so never tried: it fails with the reason, the rest goes on.
        Report(m_unqueued, {FailureCode(m_queueError), {}, false});
        Group rest;
        for (size_t i : live)
            if (i > m_unqueued && !m_batch[i].reported) rest.push_back(i);
        if (!rest.empty()) next.push_back(std::move(rest));
    }
    if (m_stopped) return false;
    for (auto it = next.rbegin(); it != next.rend(); ++it) work.push_front(std::move(*it));
    return true;
}

// One operation over `live`; every item it gives a word on is answered as it
// comes. Items it leaves without a word and without a refusal fail with what
// the whole operation answered: never taken for recycled.
void CFileOperationRecycler::Perform(const Group& live)
{
    m_live = live;
    m_current = 0;
    m_refused = kNone;
    m_unqueued = kNone;
    m_queueError = S_OK;
    m_destroyedNow = false;

    UniqueCom<IFileOperation> operation;
    UniqueCom<CDeleteSink> sink(new (std::nothrow) CDeleteSink(*this));
    HRESULT hr = sink ? ::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                           operation.put_void())
                      : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = operation->SetOperationFlags(FileOperationFlags(m_kind, m_request));
    if (SUCCEEDED(hr) && m_owner) hr = operation->SetOwnerWindow(m_owner);
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) hr = operation->Advise(sink.get(), &cookie);

    size_t queued = 0;
    if (SUCCEEDED(hr)) {
        for (; queued < live.size(); ++queued) {
            const HRESULT added = operation->DeleteItem(m_batch[live[queued]].item.get(), nullptr);
            if (FAILED(added)) {
                m_unqueued = live[queued];
                m_queueError = added;
                break;
            }
        }
    }
    m_live.resize(queued);

    HRESULT performed = hr;
    BOOL aborted = FALSE;
    bool warningRefused = false;
    if (queued > 0) {
        CountShellDeleteCall();
        ScopedDestroyRefusal refusal;
        performed = operation->PerformOperations();
        warningRefused = refusal.Refused();
        if (FAILED(operation->GetAnyOperationsAborted(&aborted))) aborted = TRUE;
    } else if (m_unqueued == kNone) {
        // The operation could not even be set up: every item fails with why.
        m_unqueued = live.front();
        m_queueError = FAILED(hr) ? hr : E_UNEXPECTED;
    }
    if (cookie) operation->Unadvise(cookie);
    if (sink) sink->Detach();
    if (m_stopped || m_refused != kNone) return;

    // Items the shell gave no word on: what the whole operation answered.
    const RECYCLE_OUTCOME unanswered = m_destroyedNow   ? RECYCLE_OUTCOME{kErrorRecyclingStopped, {}, true}
                                       : warningRefused ? RECYCLE_OUTCOME{kErrorRecycleBinRefused, {}, false}
                                       : FAILED(performed) ? RECYCLE_OUTCOME{FailureCode(performed), {}, false}
                                       : aborted           ? RECYCLE_OUTCOME{ERROR_CANCELLED, {}, false}
                                                           : RECYCLE_OUTCOME{ERROR_GEN_FAILURE, {}, false};
    for (size_t i : m_live) {
        if (!m_batch[i].reported) Report(i, unanswered);
        if (m_stopped) return;
    }
}

HRESULT CFileOperationRecycler::OnPreDelete(DWORD flags, IShellItem* item)
{
    size_t index = Find(item);
    if (index == kNone) index = OwnerOf(FileSystemPath(item));   // a part of a folder of ours
    if (g_recyclingStopped) return kDestroyRefused;
    const HRESULT verdict = PreDeleteVerdict(flags);
    if (FAILED(verdict) && m_refused == kNone) {
        // The shell would destroy this item, or a part of the one it works
        // on: the operation ends here, and that item stays where it is.
        m_refused = index != kNone ? index : m_live[m_current];
    }
    return verdict;
}

HRESULT CFileOperationRecycler::OnPostDelete(IShellItem* item, HRESULT hrDelete, IShellItem* newlyCreated)
{
    const size_t index = Find(item);
    if (index != kNone) {
        // A refused item was settled when it was refused.
        if (index != m_refused && !m_batch[index].reported) {
            const DWORD code = DeleteOutcome(hrDelete, newlyCreated != nullptr);
            if (code == kErrorItemDestroyed) Destroyed(index, m_batch[index].path);
            else Report(index, {code, code == 0 ? FileSystemPath(newlyCreated) : std::wstring(), false});
        }
    } else {
        // A part of the folder the shell works on, handled on its own.
        const std::wstring part = FileSystemPath(item);
        const size_t owner = OwnerOf(part);
        const DWORD code = DeleteOutcome(hrDelete, newlyCreated != nullptr);
        if (code == kErrorItemDestroyed && owner != kNone && !m_batch[owner].reported) {
            Destroyed(owner, part);
        } else if (code == 0 && newlyCreated && m_events.partRecycled && !part.empty()) {
            m_events.partRecycled(part, IsFolderItem(newlyCreated), FileSystemPath(newlyCreated));
        }
    }
    // An error answer is the documented way to cancel the rest of the operation.
    return m_stopped || m_destroyedNow ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
}

// The shell says `what` (the item at `index`, or a part of it) is done, yet
// names nothing it made in the bin: it was deleted permanently. The item
// fails, the rest of the operation is cancelled, and this process recycles
// nothing more through the shell's file operation.
void CFileOperationRecycler::Destroyed(size_t index, const std::wstring& what)
{
    g_recyclingStopped = true;
    m_destroyedNow = true;
    m_toldStopped = true;
    Line(DestroyedLine(what));
    Report(index, {kErrorItemDestroyed, {}, false});
}

void CFileOperationRecycler::Report(size_t index, RECYCLE_OUTCOME outcome)
{
    m_batch[index].reported = true;
    // Whatever the answer makes the host show is the program's own: the
    // shell's warning is refused, not the host's dialogs.
    ScopedDestroyRefusalPause ours;
    if (!m_events.done(m_batch[index].path, outcome)) m_stopped = true;
}

void CFileOperationRecycler::Line(const std::wstring& line)
{
    ScopedDestroyRefusalPause ours;
    if (m_events.line) m_events.line(line);
}

// The operation's item that `item` names, or kNone. The shell takes the items
// in order, so the search starts at the one it is working on.
size_t CFileOperationRecycler::Find(IShellItem* item)
{
    const size_t count = m_live.size();
    if (!item || count == 0) return kNone;
    // The shell hands back the items it was given: the same object, most
    // often. Only then is each asked to compare itself, which costs more.
    for (const bool same : {true, false}) {
        for (size_t n = 0; n < count; ++n) {
            const size_t position = (m_current + n) % count;
            IShellItem* queued = m_batch[m_live[position]].item.get();
            int order = 1;
            if (same ? queued == item : queued->Compare(item, SICHINT_CANONICAL, &order) == S_OK && order == 0) {
                m_current = position;
                return m_live[position];
            }
        }
    }
    return kNone;
}

// The operation's folder that holds `partPath`, or kNone. The shell goes into
// a folder when it cannot take it whole, so the folder is the one it works on
// or one after it.
size_t CFileOperationRecycler::OwnerOf(const std::wstring& partPath) const
{
    if (partPath.empty() || m_live.empty()) return kNone;
    const std::wstring key = PathKey(partPath);
    for (size_t n = 0; n < m_live.size(); ++n) {
        const size_t index = m_live[(m_current + n) % m_live.size()];
        if (IsBelow(key, m_batch[index].key)) return index;
    }
    return kNone;
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
    // The shell's answer for a folder it took whole: done, nothing inside is left to do.
    case COPYENGINE_S_DONT_PROCESS_CHILDREN:
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
    const DWORD code = ErrorFromResult(hrDelete);
    return (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? 0 : code;
}

DWORD DeleteOutcome(HRESULT hrDelete, bool newItem)
{
    const DWORD code = PostDeleteCode(hrDelete);
    if (code != 0 || newItem) return code;
    // Done, and nothing in the bin: only an item that was not there (or that
    // went with an earlier one) may say so.
    const bool wasThere = hrDelete == S_OK || hrDelete == COPYENGINE_S_DONT_PROCESS_CHILDREN;
    return wasThere ? kErrorItemDestroyed : 0;
}

RecycleRequest ThisSystemsRecycleRequest()
{
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 6;
    wanted.dwMinorVersion = 2;
    DWORDLONG condition = 0;
    condition = ::VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
    condition = ::VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
    return ::VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, condition)
               ? RecycleRequest::RecycleOnDelete
               : RecycleRequest::AllowUndo;
}

DWORD FileOperationFlags(RecycleKind kind, RecycleRequest request)
{
    // Not FOFX_EARLYFAILURE: that would end the whole operation at the first
    // item that fails, while a failed item must not stop the others. With
    // FOF_NOERRORUI alone the shell goes on past it, and the sink hears why.
    const DWORD flags = ShellFlagsFor(kind);
    return request == RecycleRequest::AllowUndo ? flags : (flags & ~FOF_ALLOWUNDO) | FOFX_RECYCLEONDELETE;
}

HRESULT ProbeFileOperationDeletes()
{
    UniqueCom<IFileOperation> operation;
    HRESULT hr = ::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                    operation.put_void());
    // The Windows folder: a known folder that every system has and that
    // always parses, whatever path the program was started by.
    UniqueItemList windows;
    UniqueCom<IShellItem> item;
    if (SUCCEEDED(hr)) hr = ::SHGetFolderLocation(nullptr, CSIDL_WINDOWS, nullptr, 0, windows.put());
    if (SUCCEEDED(hr)) hr = ::SHCreateItemFromIDList(windows.get(), __uuidof(IShellItem), item.put_void());
    if (SUCCEEDED(hr)) hr = operation->SetOperationFlags(FileOperationFlags(RecycleKind::File, ThisSystemsRecycleRequest()));
    if (SUCCEEDED(hr)) hr = operation->DeleteItem(item.get(), nullptr);
    // Released unperformed: the queued delete goes with the operation.
    return hr;
}

DeleterChoice ChooseDeleter(HRESULT probe)
{
    if (SUCCEEDED(probe)) return DeleterChoice::FileOperation;
    return probe == E_NOTIMPL ? DeleterChoice::ShellCall : DeleterChoice::None;
}

std::wstring NoDeleterLine(HRESULT probe)
{
    return FormatText(L"ERROR: (0x%08lX) The shell's file operation failed its check: nothing is sent to the "
                      L"Recycle Bin, and nothing is deleted. %ls",
                      static_cast<unsigned long>(probe), GetErrorText(static_cast<DWORD>(probe)).c_str());
}

std::wstring DestroyedLine(const std::wstring& path)
{
    return FormatText(L"ERROR: The shell deleted \"%ls\" permanently instead of sending it to the Recycle Bin. "
                      L"Nothing more is sent to the Recycle Bin until Mopwright is started again.",
                      path.c_str());
}

std::wstring DriveWithoutBinLine(const std::wstring& volume, BinState state)
{
    return FormatText(L"ERROR: (%d) The Recycle Bin of \"%ls\" is %ls: nothing on that drive is sent to it, and "
                      L"every item there stays where it is.",
                      static_cast<int>(kErrorRecycleBinRefused), volume.c_str(),
                      state == BinState::Off ? L"switched off" : L"absent");
}

std::unique_ptr<IRecycler> CreateFileOperationRecycler(HWND owner, RECYCLER_EVENTS events)
{
    return std::make_unique<CFileOperationRecycler>(owner, std::move(events));
}

bool RecyclingStopped() { return g_recyclingStopped; }
