// The Recycle Bin deleters: the decisions of the IFileOperation deleter's sink,
// which hold everywhere, and the choice of deleter under Wine, whose operation
// takes no delete items.
#include <gtest/gtest.h>

#include <shobjidl.h>
#include <thread>
#include <utility>
#include <vector>

#include "engine/FileOperationRecycler.h"
#include "support/ComInit.h"
#include "tests/TestUtil.h"

TEST(RecyclerDecisions, VetoFlagsAndResultCodes)
{
    const std::pair<DWORD, HRESULT> verdicts[] = {
        {TSF_DELETE_RECYCLE_IF_POSSIBLE, S_OK},
        {TSF_DELETE_RECYCLE_IF_POSSIBLE | TSF_USE_FULL_ACCESS, S_OK},
        {TSF_NORMAL, kDestroyRefused},
        {TSF_USE_FULL_ACCESS | TSF_SUSPEND_SHELLEVENTS, kDestroyRefused},
    };
    for (const auto& [flags, verdict] : verdicts) EXPECT_EQ(PreDeleteVerdict(flags), verdict) << std::hex << flags;

    const DWORD required = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOFX_RECYCLEONDELETE | FOF_WANTNUKEWARNING;
    for (RecycleKind kind : {RecycleKind::File, RecycleKind::FolderNoRecursion, RecycleKind::FolderTree})
        EXPECT_EQ(FileOperationFlags(kind) & required, required) << static_cast<int>(kind);

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
        {COPYENGINE_S_DONT_PROCESS_CHILDREN, 0x00270008},
        {COPYENGINE_S_PENDING, 0x0027000B},
        {COPYENGINE_S_KEEP_BOTH, 0x0027000C},
        {COPYENGINE_S_CLOSE_PROGRAM, 0x0027000D},
        {COPYENGINE_S_COLLISIONRESOLVED, 0x0027000E},
        {COPYENGINE_S_PROGRESS_PAUSE, 0x0027000F},
        {COPYENGINE_S_PENDING_DELETE, 0x00270010},
        {COPYENGINE_S_PENDING_BATCH_COPY, 0x00270011},
    };
    for (const auto& [hr, code] : results) EXPECT_EQ(PostDeleteCode(hr), code) << std::hex << hr;
}

TEST(RecyclerChoice, UnderWineTodaysPathIsChosenAndRecyclesIntoTheTrash)
{
    testutil::TempTree t(L"recycler");
    t.file(L"a.obj");
    HRESULT probe = S_OK;
    std::wstring deleter;
    std::vector<std::pair<std::wstring, DWORD>> reported;
    bool addedFirst = false, addedSecond = true, flushed = false;
    // A thread of the test's own, apartment-threaded as the window's and the console's are.
    std::thread([&] {
        ScopedComInit com;
        probe = ProbeFileOperationDeletes();
        deleter = ActiveDeleterName();
        auto recycler = CreateRecycler(nullptr, [&](const std::wstring& path, DWORD code) {
            reported.emplace_back(path, code);
            return reported.size() < 2;   // stop after the second item
        });
        addedFirst = recycler->Add(t.path(L"a.obj"), RecycleKind::File);
        addedSecond = recycler->Add(t.path(L"vanished.obj"), RecycleKind::File);
        flushed = recycler->Flush();
    }).join();

    EXPECT_EQ(probe, E_NOTIMPL);   // the operation exists, but takes no delete items
    EXPECT_EQ(deleter, L"SHFileOperation");
    EXPECT_TRUE(addedFirst);
    EXPECT_FALSE(addedSecond);   // `done` asked to stop
    EXPECT_TRUE(flushed);        // nothing was queued
    const std::vector<std::pair<std::wstring, DWORD>> expected{{t.path(L"a.obj"), 0}, {t.path(L"vanished.obj"), 0}};
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(testutil::InTrash(t.path(L"a.obj")));
    EXPECT_FALSE(t.exists(L"a.obj"));
}
