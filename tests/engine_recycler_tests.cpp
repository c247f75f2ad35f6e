// The Recycle Bin deleters: the decisions of the IFileOperation deleter's sink,
// which hold everywhere; under Wine, whose operation takes no delete items, the
// choice of today's path, and the IFileOperation deleter failing item by item.
#include <gtest/gtest.h>

#include <shobjidl.h>
#include <algorithm>
#include <functional>
#include <tuple>
#include <thread>
#include <utility>
#include <vector>

#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/FileOperationRecycler.h"
#include "support/ComInit.h"
#include "tests/TestUtil.h"

namespace {

using Reports = std::vector<std::pair<std::wstring, DWORD>>;

// Runs `work` on a thread of the test's own, apartment-threaded as the
// window's and the console's are.
void OnApartmentThread(const std::function<void()>& work)
{
    std::thread([&] {
        ScopedComInit com;
        work();
    }).join();
}

// Events that record every answer and ask to stop after the `stopAfter`th.
RECYCLER_EVENTS Recorder(Reports& reports, size_t stopAfter)
{
    RECYCLER_EVENTS events;
    events.done = [&reports, stopAfter](const std::wstring& path, const RECYCLE_OUTCOME& outcome) {
        reports.emplace_back(path, outcome.code);
        return reports.size() < stopAfter;
    };
    return events;
}

} // namespace

TEST(RecyclerDecisions, VetoFlagsAndResultCodes)
{
    const std::pair<DWORD, HRESULT> verdicts[] = {
        {TSF_DELETE_RECYCLE_IF_POSSIBLE, S_OK},
        {TSF_DELETE_RECYCLE_IF_POSSIBLE | TSF_USE_FULL_ACCESS, S_OK},
        {TSF_NORMAL, kDestroyRefused},
        {TSF_USE_FULL_ACCESS | TSF_SUSPEND_SHELLEVENTS, kDestroyRefused},
    };
    for (const auto& [flags, verdict] : verdicts) EXPECT_EQ(PreDeleteVerdict(flags), verdict) << std::hex << flags;

    // Windows 7 knows only FOF_ALLOWUNDO; Windows 8 and later recycle without an undo record.
    const DWORD required = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_WANTNUKEWARNING;
    for (RecycleKind kind : {RecycleKind::File, RecycleKind::FolderNoRecursion, RecycleKind::FolderTree}) {
        const DWORD seven = FileOperationFlags(kind, RecycleRequest::AllowUndo);
        const DWORD eight = FileOperationFlags(kind, RecycleRequest::RecycleOnDelete);
        EXPECT_EQ(seven & (required | FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE), required | FOF_ALLOWUNDO) << static_cast<int>(kind);
        EXPECT_EQ(eight & (required | FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE), required | FOFX_RECYCLEONDELETE) << static_cast<int>(kind);
        EXPECT_EQ(seven & FOF_NORECURSION, kind == RecycleKind::FolderNoRecursion ? FOF_NORECURSION : 0u);
    }

    // Only Wine's "not implemented" selects today's path; any other failure selects none.
    const std::pair<HRESULT, DeleterChoice> choices[] = {
        {S_OK, DeleterChoice::FileOperation}, {E_NOTIMPL, DeleterChoice::ShellCall},
        {E_INVALIDARG, DeleterChoice::None},  {REGDB_E_CLASSNOTREG, DeleterChoice::None},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), DeleterChoice::None},
    };
    for (const auto& [probe, choice] : choices) EXPECT_EQ(ChooseDeleter(probe), choice) << std::hex << probe;

    // A success without an item in the bin is a permanent delete, unless nothing was there.
    const std::tuple<HRESULT, bool, DWORD> outcomes[] = {
        {S_OK, true, 0},
        {S_OK, false, kErrorItemDestroyed},
        {COPYENGINE_S_DONT_PROCESS_CHILDREN, true, 0},
        {COPYENGINE_S_DONT_PROCESS_CHILDREN, false, kErrorItemDestroyed},
        {COPYENGINE_S_ALREADY_DONE, false, 0},
        {COPYENGINE_E_PATH_NOT_FOUND_SRC, false, 0},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false, 0},
        {COPYENGINE_S_USER_IGNORED, true, 0x00270005},
        {COPYENGINE_E_ACCESS_DENIED_SRC, false, ERROR_ACCESS_DENIED},
    };
    for (const auto& [hr, newItem, code] : outcomes) EXPECT_EQ(DeleteOutcome(hr, newItem), code) << std::hex << hr << newItem;

    const std::pair<HRESULT, DWORD> results[] = {
        {S_OK, 0},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 0},   // vanished meanwhile: gone
        {COPYENGINE_E_PATH_NOT_FOUND_SRC, 0},
        {HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), ERROR_SHARING_VIOLATION},
        {COPYENGINE_E_ACCESS_DENIED_SRC, ERROR_ACCESS_DENIED},
        {E_FAIL, 0x80004005},
        {kDestroyRefused, 536871169},
        {COPYENGINE_E_RECYCLE_BIN_NOT_FOUND, 536871169},
        // The copy engine's successes: only "already done" means the item went.
        {COPYENGINE_S_ALREADY_DONE, 0},
        {COPYENGINE_S_YES, 0x00270001},
        {COPYENGINE_S_NOT_HANDLED, 0x00270003},
        {COPYENGINE_S_USER_RETRY, 0x00270004},
        {COPYENGINE_S_USER_IGNORED, 0x00270005},
        {COPYENGINE_S_MERGE, 0x00270006},
        {COPYENGINE_S_DONT_PROCESS_CHILDREN, 0},   // a folder taken whole
        {COPYENGINE_S_PENDING, 0x0027000B},
        {COPYENGINE_S_KEEP_BOTH, 0x0027000C},
        {COPYENGINE_S_CLOSE_PROGRAM, 0x0027000D},
        {COPYENGINE_S_COLLISIONRESOLVED, 0x0027000E},
        {COPYENGINE_S_PROGRESS_PAUSE, 0x0027000F},
        {COPYENGINE_S_PENDING_DELETE, 0x00270010},
        {COPYENGINE_S_PENDING_BATCH_COPY, 0x00270011},
    };
    for (const auto& [hr, code] : results) {
        EXPECT_EQ(PostDeleteCode(hr), code) << std::hex << hr;
        // Every copy-engine answer that can reach a log line has a text.
        if (code != 0) {
            EXPECT_NE(GetErrorText(code), L"") << std::hex << code;
        }
    }
}

TEST(RecyclerChoice, UnderWineTodaysPathIsChosenAndRecyclesIntoTheTrash)
{
    if (testutil::UnderDouble()) GTEST_SKIP() << "the double takes delete items";
    testutil::TempTree t(L"recycler");
    t.file(L"a.obj");
    HRESULT probe = S_OK;
    std::wstring deleter;
    Reports reports;
    bool addedFirst = false, addedSecond = true, flushed = false;
    OnApartmentThread([&] {
        probe = ProbeFileOperationDeletes();
        deleter = ActiveDeleterName();
        auto recycler = CreateRecycler(nullptr, Recorder(reports, 2));
        addedFirst = recycler->Add(t.path(L"a.obj"), RecycleKind::File);
        addedSecond = recycler->Add(t.path(L"vanished.obj"), RecycleKind::File);
        flushed = recycler->Flush();
    });

    EXPECT_EQ(probe, E_NOTIMPL);   // the operation exists, but takes no delete items
    EXPECT_EQ(deleter, L"SHFileOperation");
    EXPECT_TRUE(addedFirst);
    EXPECT_FALSE(addedSecond);   // `done` asked to stop
    EXPECT_TRUE(flushed);        // nothing was queued
    EXPECT_EQ(reports, (Reports{{t.path(L"a.obj"), 0}, {t.path(L"vanished.obj"), 0}}));
    EXPECT_TRUE(testutil::InTrash(t.path(L"a.obj")));
    EXPECT_FALSE(t.exists(L"a.obj"));
}

// Wine's operation refuses its flags (E_NOTIMPL): every queued item fails on
// its own and stays, and the answers still come in the order added.
TEST(FileOperationRecycler, UnderWineEachItemFailsInTurnAndStays)
{
    if (testutil::UnderDouble()) GTEST_SKIP() << "the double takes delete items";
    testutil::TempTree t(L"fileop");
    t.files({L"a.obj", L"c.obj"});
    t.dir(L"Debug");
    const DWORD notImplemented = static_cast<DWORD>(E_NOTIMPL);
    // Never stopped; stopped by the fourth answer (the batch that the change
    // of kind performs); stopped by the last, in Flush.
    for (size_t stopAfter : {size_t{99}, size_t{4}, size_t{5}}) {
        Reports reports;
        bool added = true, flushed = false;
        OnApartmentThread([&] {
            auto recycler = CreateFileOperationRecycler(nullptr, Recorder(reports, stopAfter));
            for (const wchar_t* file : {L"a.obj", L"b.", L"vanished.obj", L"c.obj"})
                added = added && recycler->Add(t.path(file), RecycleKind::File);
            // A change of kind performs the files' batch first.
            added = added && recycler->Add(t.path(L"Debug"), RecycleKind::FolderTree);
            flushed = added && recycler->Flush();
        });
        Reports expected{{t.path(L"a.obj"), notImplemented},
                         {t.path(L"b."), ERROR_INVALID_NAME},
                         {t.path(L"vanished.obj"), 0},
                         {t.path(L"c.obj"), notImplemented},
                         {t.path(L"Debug"), notImplemented}};
        expected.resize(std::min(stopAfter, expected.size()));
        EXPECT_EQ(reports, expected) << stopAfter;
        EXPECT_EQ(added, stopAfter != 4) << stopAfter;
        EXPECT_EQ(flushed, stopAfter > 5) << stopAfter;
        EXPECT_EQ(t.missing({L"a.obj", L"c.obj", L"Debug"}), testutil::Paths{});
        EXPECT_EQ(t.trashed({L"a.obj", L"c.obj", L"Debug"}), testutil::Paths{});
    }
}
