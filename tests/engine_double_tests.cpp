// The tests' double of the shell's file operation plays what Windows documents
// and does, on real files and Wine's real trash: driven here through
// CLSID_FileOperation with a sink of the test's own. Only under the double.
#include <gtest/gtest.h>

#include <shobjidl.h>
#include <sherrors.h>
#include <algorithm>
#include <functional>
#include <tuple>

#include "support/ComInit.h"
#include "support/ComObject.h"
#include "support/UniqueHandle.h"
#include "tests/TestUtil.h"

using testutil::Paths;
using testutil::TempTree;

namespace {

std::wstring Hex(DWORD value)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::wstring PathOf(IShellItem* item)
{
    PWSTR path = nullptr;
    if (!item || FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return L"-";
    UniqueCoString owner(path);
    return path;
}

// Writes down each Pre/Post event as "pre FLAGS NAME" / "post HR NAME NEW",
// NAME relative to the tree and NEW "bin" for the item's own trash entry.
// Refuses the Pre of the item named `refuse`, or with "*" of every item
// offered without the recycle flag (as the program's sink does).
class CSink final : public CFileOperationSink<> {
public:
    CSink(const TempTree& tree, std::wstring refuse) : m_tree(tree), m_refuse(std::move(refuse)) {}
    Paths events;
    Paths entries;   // the new items

    IFACEMETHODIMP PreDeleteItem(DWORD flags, IShellItem* item) override
    {
        events.push_back(L"pre " + Hex(flags) + L" " + Name(item));
        const bool refused = m_refuse == L"*" ? !(flags & TSF_DELETE_RECYCLE_IF_POSSIBLE) : Name(item) == m_refuse;
        return refused ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : S_OK;
    }
    IFACEMETHODIMP PostDeleteItem(DWORD, IShellItem* item, HRESULT hr, IShellItem* created) override
    {
        const std::wstring entry = PathOf(created);
        if (created) entries.push_back(entry);
        events.push_back(L"post " + Hex(hr) + L" " + Name(item) + L" " +
                         (created && testutil::TrashedOriginalOf(entry) == PathOf(item) ? L"bin" : entry));
        return S_OK;
    }
    IFACEMETHODIMP PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT hr, IShellItem* created) override
    {
        events.push_back(L"post-move " + Hex(hr) + L" " + PathOf(created));
        return S_OK;
    }
private:
    // Relative to the tree; an item elsewhere by its name.
    std::wstring Name(IShellItem* item) const
    {
        const std::wstring path = PathOf(item);
        return path.starts_with(m_tree.root() + L"\\") ? path.substr(m_tree.root().size() + 1)
                                                        : path.substr(path.find_last_of(L'\\') + 1);
    }
    const TempTree& m_tree;
    std::wstring m_refuse;
};

UniqueCom<IShellItem> Item(const std::wstring& path)
{
    UniqueCom<IShellItem> item;
    EXPECT_HRESULT_SUCCEEDED(::SHCreateItemFromParsingName(path.c_str(), nullptr, __uuidof(IShellItem), item.put_void()));
    return item;
}

// One operation through CLSID_FileOperation: `queue` adds its items. True when
// it says that operations were aborted.
bool Perform(CSink& sink, DWORD flags, const std::function<void(IFileOperation*)>& queue)
{
    UniqueCom<IFileOperation> op;
    EXPECT_HRESULT_SUCCEEDED(::CoCreateInstance(__uuidof(FileOperation), nullptr, CLSCTX_ALL, __uuidof(IFileOperation),
                                                op.put_void()));
    DWORD cookie = 0;
    BOOL aborted = FALSE;
    EXPECT_HRESULT_SUCCEEDED(op.get()->SetOperationFlags(flags));
    EXPECT_HRESULT_SUCCEEDED(op.get()->Advise(&sink, &cookie));
    queue(op.get());
    EXPECT_EQ(op.get()->PerformOperations(), S_OK);   // aborted or not
    EXPECT_HRESULT_SUCCEEDED(op.get()->GetAnyOperationsAborted(&aborted));
    EXPECT_HRESULT_SUCCEEDED(op.get()->Unadvise(cookie));
    return aborted;
}

constexpr DWORD kRecycle = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOFX_RECYCLEONDELETE;

class FileOperationDouble : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testutil::UnderDouble()) GTEST_SKIP() << "only where the double is the shell's file operation";
    }
    ScopedComInit m_com;
};

} // namespace

TEST_F(FileOperationDouble, PlaysEachDeleteAsWindowsDoes)
{
    struct CASE {
        std::vector<std::pair<const wchar_t*, const wchar_t*>> play;   // action, item
        const wchar_t* refuse;
        Paths events;
        bool aborted;
        Paths trashed, lost;   // the rest stays
    } cases[] = {
        {{}, L"", {L"pre 0x80 a", L"post 0x0 a bin", L"pre 0x80 d", L"post 0x0 d bin", L"pre 0x80 b", L"post 0x0 b bin"}, false,
         {L"a", L"b", L"d"}, {}},
        // One item the bin cannot take: none goes there, and a sink that agrees loses them all.
        {{{L"unrecyclable", L"b"}}, L"", {L"pre 0x0 a", L"post 0x0 a -", L"pre 0x0 d", L"post 0x0 d -", L"pre 0x0 b", L"post 0x0 b -"},
         false, {}, {L"a", L"b", L"d"}},
        {{{L"unrecyclable", L"b"}}, L"*", {L"pre 0x0 a"}, true, {}, {}},
        {{}, L"d", {L"pre 0x80 a", L"post 0x0 a bin", L"pre 0x80 d"}, true, {L"a"}, {}},
        {{{L"deny", L"a"}, {L"share", L"d"}, {L"ignored", L"b"}}, L"",
         {L"pre 0x80 a", L"post 0x80270021 a -", L"pre 0x80 d", L"post 0x80270027 d -", L"pre 0x80 b", L"post 0x270005 b -"},
         false, {}, {}},
        {{{L"dontprocess", L"d"}, {L"cancel", L"b"}}, L"",
         {L"pre 0x80 a", L"post 0x0 a bin", L"pre 0x80 d", L"post 0x270008 d bin"}, true, {L"a", L"d"}, {}},
        {{{L"parts", L"d"}}, L"",
         {L"pre 0x80 a", L"post 0x0 a bin", L"pre 0x80 d\\s\\y", L"post 0x0 d\\s\\y bin", L"pre 0x80 d\\x", L"post 0x0 d\\x bin",
          L"pre 0x80 d", L"post 0x0 d bin", L"pre 0x80 b", L"post 0x0 b bin"},
         false, {L"a", L"b", L"d", L"d\\s\\y", L"d\\x"}, {}},
        {{{L"nonew", L"a"}, {L"nobin", L"d"}}, L"*", {L"pre 0x80 a", L"post 0x0 a -", L"pre 0x0 d\\s\\y"}, true, {}, {L"a"}},
        {{{L"nobin", L"d"}}, L"d",
         {L"pre 0x80 a", L"post 0x0 a bin", L"pre 0x0 d\\s\\y", L"post 0x0 d\\s\\y -", L"pre 0x0 d\\s", L"post 0x0 d\\s -",
          L"pre 0x0 d\\x", L"post 0x0 d\\x -", L"pre 0x0 d"},
         true, {L"a"}, {L"d\\s", L"d\\s\\y", L"d\\x"}},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempTree t(L"double");
        for (const wchar_t* file : {L"a", L"b", L"d/x", L"d/s/y"}) t.file(file);
        std::vector<testutil::PLAY_LINE> lines;
        for (const auto& [action, item] : c.play) lines.push_back({action, t.path(item)});
        testutil::DoublePlay play(lines);
        testutil::DoubleRecord record;
        UniqueCom<CSink> sink(new CSink(t, c.refuse));
        const bool aborted = Perform(*sink.get(), kRecycle, [&](IFileOperation* op) {
            for (const wchar_t* item : {L"a", L"d", L"b"}) EXPECT_HRESULT_SUCCEEDED(op->DeleteItem(Item(t.path(item)).get(), nullptr));
        });

        EXPECT_EQ(sink->events, c.events);
        EXPECT_EQ(aborted, c.aborted);
        EXPECT_EQ(t.trashed({L"a", L"b", L"d", L"d\\s", L"d\\s\\y", L"d\\x"}), c.trashed);
        for (const std::wstring item : {L"a", L"b", L"d", L"d\\s", L"d\\s\\y", L"d\\x"}) {
            const bool gone = std::count(c.trashed.begin(), c.trashed.end(), item) || std::count(c.lost.begin(), c.lost.end(), item);
            // Or gone with its folder, to the bin or destroyed.
            const bool inside = item.size() > 1 && (std::count(c.trashed.begin(), c.trashed.end(), L"d") ||
                                                    std::count(c.lost.begin(), c.lost.end(), L"d"));
            EXPECT_EQ(t.exists(item), !gone && !inside) << testutil::Narrow(item);
        }
        // The record says what the sink heard.
        const testutil::DOUBLE_LOG log = record.Read();
        EXPECT_EQ(log.performed, std::vector<size_t>{3});
        EXPECT_EQ(log.deleteItemCalls, 3u);
        EXPECT_EQ(log.events.size(), c.events.size());
        EXPECT_EQ(log.aborted.size(), c.aborted ? 1u : 0u);
    }
}

// Windows decides per volume, and for a whole operation: with C:'s bin off no
// item of an operation that holds one from C: is recycled, Z:'s included.
TEST_F(FileOperationDouble, ABinSwitchedOffTakesTheRecycleFlagFromTheWholeOperation)
{
    TempTree onC(L"double", testutil::TempFolderOnC()), onZ(L"double");
    onC.file(L"c");
    onZ.file(L"z");
    testutil::VolumeBinOff off(onC.root());
    ASSERT_TRUE(off.valid());
    UniqueCom<CSink> both(new CSink(onZ, L""));
    Perform(*both.get(), kRecycle, [&](IFileOperation* op) {
        EXPECT_HRESULT_SUCCEEDED(op->DeleteItem(Item(onZ.path(L"z")).get(), nullptr));
        EXPECT_HRESULT_SUCCEEDED(op->DeleteItem(Item(onC.path(L"c")).get(), nullptr));
    });
    EXPECT_EQ(both->events, (Paths{L"pre 0x0 z", L"post 0x0 z -", L"pre 0x0 c", L"post 0x0 c -"}));
    EXPECT_EQ(onC.present({L"c"}), Paths{});   // destroyed, not recycled
    EXPECT_EQ(onZ.present({L"z"}), Paths{});
    EXPECT_EQ(onZ.trashed({L"z"}), Paths{});

    onZ.file(L"z");
    UniqueCom<CSink> alone(new CSink(onZ, L""));
    Perform(*alone.get(), kRecycle, [&](IFileOperation* op) { op->DeleteItem(Item(onZ.path(L"z")).get(), nullptr); });
    EXPECT_EQ(alone->events, (Paths{L"pre 0x80 z", L"post 0x0 z bin"}));
}

// Out of the bin with MoveItem: the record in Trash\info goes too; a target
// that exists is skipped, or replaced with FOF_NOCONFIRMATION.
TEST_F(FileOperationDouble, MovesOutOfTheTrashSkippingOrReplacingATakenPlace)
{
    const std::tuple<DWORD, bool, HRESULT, std::string> cases[] = {
        {0, false, S_OK, "old"},
        {FOF_NOCONFIRMATION, true, S_OK, "old"},
        {0, true, COPYENGINE_E_ALREADY_EXISTS_NORMAL, "new"},
    };
    for (const auto& [flags, taken, hr, content] : cases) {
        TempTree t(L"double");
        t.file(L"a", "old");
        UniqueCom<CSink> sink(new CSink(t, L""));
        Perform(*sink.get(), kRecycle, [&](IFileOperation* op) { op->DeleteItem(Item(t.path(L"a")).get(), nullptr); });
        ASSERT_EQ(sink->entries.size(), 1u);
        const std::wstring entry = sink->entries[0];
        if (taken) t.file(L"a", "new");
        Perform(*sink.get(), flags, [&](IFileOperation* op) {
            EXPECT_HRESULT_SUCCEEDED(op->MoveItem(Item(entry).get(), Item(t.root()).get(), L"a", nullptr));
        });
        EXPECT_EQ(sink->events.back(), L"post-move " + Hex(hr) + L" " + (hr == S_OK ? t.path(L"a") : L"-")) << flags;
        // Its record goes with an item out of the bin.
        EXPECT_EQ(testutil::TrashedOriginalOf(entry), hr == S_OK ? L"" : t.path(L"a")) << flags;
        UniqueFile f(::CreateFileW(t.path(L"a").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char bytes[8] = {};
        DWORD got = 0;
        ::ReadFile(f.get(), bytes, sizeof(bytes), &got, nullptr);
        EXPECT_EQ(std::string(bytes, got), content) << flags;
    }
}
