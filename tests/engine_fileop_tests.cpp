// The IFileOperation deleter end to end under the tests' double of the shell's
// file operation: on real files and the real trash, what the shell answers
// decides each item, nothing is ever destroyed, a refusal costs no neighbour
// and no more than linear work. Only under the double.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/FileOperationRecycler.h"
#include "support/ComInit.h"
#include "tests/TestUtil.h"

using testutil::Paths;
using testutil::PLAY_LINE;
using testutil::TempTree;

namespace {

// One item handed to the deleter: where (its tree: 'Z' the test folder's, 'C'
// a tree on C:, whose bin a case may switch off), what, and the code expected.
struct ITEM {
    wchar_t drive;
    std::wstring rel;
    RecycleKind kind;
    DWORD code;   // 0: it is in the Recycle Bin, named by the shell
};

struct CASE {
    const char* name;
    std::vector<ITEM> items;
    std::vector<std::pair<std::wstring, std::wstring>> play;   // action, item
    bool binOffOnC = false;
    size_t maxOperations;     // counted from the double's own record
    size_t lines = 0;         // lines of the deleter's own
    size_t toldOnce = 0;      // items that a line of its own speaks for
    size_t parts = 0;         // parts recycled on their own
};

std::vector<ITEM> Files(wchar_t drive, const std::wstring& prefix, size_t count, DWORD code = 0)
{
    std::vector<ITEM> items;
    for (size_t i = 0; i < count; ++i) items.push_back({drive, prefix + std::to_wstring(i) + L".obj", RecycleKind::File, code});
    return items;
}

std::vector<ITEM> operator+(std::vector<ITEM> a, const std::vector<ITEM>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool IsFolder(RecycleKind kind) { return kind != RecycleKind::File; }

} // namespace

TEST(FileOperationDeleter, DecidesEachItemByTheShellsOutcomeAndNeverDestroys)
{
    if (!testutil::UnderDouble()) GTEST_SKIP() << "the shell's file operation takes no delete items here";
    const DWORD refused = kErrorRecycleBinRefused;
    const std::vector<CASE> cases = {
        {"1,200 items in batches of 200", Files(L'Z', L"many/f", 1200), {}, false, 6},
        {"the bin off for every item", Files(L'C', L"off/f", 300, refused), {}, true, 3, 1, 300},
        {"the bin off for some", Files(L'Z', L"some/z", 20) + Files(L'C', L"some/c", 20, refused), {}, true, 6, 1, 20},
        {"one item the bin cannot take, among 200",
         Files(L'Z', L"one/a", 100) + std::vector<ITEM>{{L'Z', L"one/big.obj", RecycleKind::File, refused}} +
             Files(L'Z', L"one/b", 99),
         {{L"unrecyclable", L"one/big.obj"}}, false, 20},
        {"a folder answered: children not processed",
         {{L'Z', L"dont/Debug", RecycleKind::FolderTree, 0}}, {{L"dontprocess", L"dont/Debug"}}, false, 1},
        {"access denied and a sharing violation in mid-batch",
         Files(L'Z', L"mid/a", 3) + std::vector<ITEM>{{L'Z', L"mid/denied.obj", RecycleKind::File, ERROR_ACCESS_DENIED},
                                                      {L'Z', L"mid/shared.obj", RecycleKind::File, ERROR_SHARING_VIOLATION}} +
             Files(L'Z', L"mid/b", 3),
         {{L"deny", L"mid/denied.obj"}, {L"share", L"mid/shared.obj"}}, false, 1},
        {"a success that did nothing",
         Files(L'Z', L"skip/a", 2) + std::vector<ITEM>{{L'Z', L"skip/ignored.obj", RecycleKind::File, 0x00270005}} +
             Files(L'Z', L"skip/b", 2),
         {{L"ignored", L"skip/ignored.obj"}}, false, 1},
        {"a cancel in mid-batch",
         Files(L'Z', L"stop/a", 3) + std::vector<ITEM>{{L'Z', L"stop/here.obj", RecycleKind::File, ERROR_CANCELLED}} +
             Files(L'Z', L"stop/b", 3, ERROR_CANCELLED),
         {{L"cancel", L"stop/here.obj"}}, false, 1},
        {"a folder the bin cannot take whole, whose children are offered",
         {{L'Z', L"nobin/x64", RecycleKind::FolderTree, refused}, {L'Z', L"nobin/ipch", RecycleKind::FolderTree, 0}},
         {{L"nobin", L"nobin/x64"}}, false, 3},
        {"a folder recycled part by part",
         {{L'Z', L"parts/obj", RecycleKind::FolderTree, 0}}, {{L"parts", L"parts/obj"}}, false, 1, 0, 0, 2},
    };

    TempTree z(L"fileop");
    TempTree c(L"fileop", testutil::TempFolderOnC());
    for (const CASE& test : cases) {
        SCOPED_TRACE(test.name);
        auto place = [&](const ITEM& item) { return (item.drive == L'C' ? c : z).path(item.rel); };
        for (const ITEM& item : test.items) {
            const TempTree& tree = item.drive == L'C' ? c : z;
            if (!IsFolder(item.kind)) {
                tree.file(item.rel, "bytes");
                continue;
            }
            // A folder with files and a folder inside it.
            tree.file(item.rel + L"/a.obj");
            tree.file(item.rel + L"/sub/b.tlog");
        }
        std::vector<PLAY_LINE> play;
        for (const auto& [action, rel] : test.play) play.push_back({action, z.path(rel)});
        testutil::DoublePlay player(play);
        testutil::DoubleRecord record;
        std::unique_ptr<testutil::VolumeBinOff> binOff;
        if (test.binOffOnC) {
            binOff = std::make_unique<testutil::VolumeBinOff>(c.root());
            ASSERT_TRUE(binOff->valid());
        }

        std::vector<std::pair<std::wstring, RECYCLE_OUTCOME>> answers;
        Paths lines, parts;
        std::thread([&] {
            ScopedComInit com;
            RECYCLER_EVENTS events;
            events.done = [&](const std::wstring& path, const RECYCLE_OUTCOME& outcome) {
                answers.emplace_back(path, outcome);
                return true;
            };
            events.line = [&](const std::wstring& line) { lines.push_back(line); };
            events.partRecycled = [&](const std::wstring& path, bool, const std::wstring& binItem) {
                if (!binItem.empty()) parts.push_back(path);
            };
            auto recycler = CreateRecycler(nullptr, events);
            for (const ITEM& item : test.items) recycler->Add(place(item), item.kind);
            recycler->Flush();
        }).join();
        binOff.reset();

        // Every item answered once, in the order added, as it really went.
        ASSERT_EQ(answers.size(), test.items.size());
        size_t toldOnce = 0;
        Paths recycled = parts;
        for (size_t i = 0; i < test.items.size(); ++i) {
            const ITEM& item = test.items[i];
            const std::wstring path = place(item);
            const RECYCLE_OUTCOME& outcome = answers[i].second;
            EXPECT_EQ(answers[i].first, path);
            EXPECT_EQ(outcome.code, item.code) << testutil::Narrow(path);
            toldOnce += outcome.toldOnce ? 1 : 0;
            const bool present = ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (item.code == 0) {
                EXPECT_FALSE(present) << testutil::Narrow(path);
                recycled.push_back(path);
                EXPECT_NE(outcome.binItem, L"") << testutil::Narrow(path);
                if (!outcome.binItem.empty()) {
                    EXPECT_NE(::GetFileAttributesW(outcome.binItem.c_str()), INVALID_FILE_ATTRIBUTES);
                }
            } else {
                // Never destroyed: what failed is still where it was, whole.
                EXPECT_TRUE(present) << testutil::Narrow(path);
                if (IsFolder(item.kind)) {
                    EXPECT_NE(::GetFileAttributesW((path + L"\\sub\\b.tlog").c_str()), INVALID_FILE_ATTRIBUTES);
                }
                EXPECT_EQ(outcome.binItem, L"");
            }
        }
        EXPECT_EQ(testutil::NotInTrash(recycled), Paths{});
        EXPECT_EQ(toldOnce, test.toldOnce);
        EXPECT_EQ(lines.size(), test.lines) << (lines.empty() ? "" : testutil::Narrow(lines.front()));
        EXPECT_EQ(parts.size(), test.parts);

        // Batches of at most 200, and linear work whatever was refused.
        const testutil::DOUBLE_LOG log = record.Read();
        EXPECT_LE(log.performed.size(), test.maxOperations);
        for (size_t queued : log.performed) EXPECT_LE(queued, 200u);
        EXPECT_LE(log.deleteItemCalls, 3 * test.items.size());
    }
}
