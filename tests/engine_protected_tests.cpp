#include <gtest/gtest.h>

#include <algorithm>

#include "engine/records/Beep.h"
#include "engine/planning/KeepListReader.h"
#include "engine/planning/Collectors.h"
#include "tests/TestUtil.h"

using testutil::EncodeUtf16;
using testutil::EncodeUtf32;
using testutil::TempTree;

namespace {

const std::wstring kListFile = kDoNotDeleteFileName;

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes) out.push_back(static_cast<char>(b));
    return out;
}

struct Read {
    BOOL ok = FALSE;
    DWORD error = 0;
    std::wstring text;
};

Read ReadFileText(const std::wstring& path)
{
    Read r;
    r.text = L"unchanged";
    ::SetLastError(0xDEAD);
    r.ok = ReadTextFile(path, r.text);
    r.error = ::GetLastError();
    return r;
}

// Counts the engine's beeps while it lives.
class BeepCounter {
public:
    BeepCounter() { s_count = 0; s_type = 0; m_previous = SetEngineBeepHook(&Hook); }
    ~BeepCounter() { SetEngineBeepHook(m_previous); }
    int count() const { return s_count; }
    UINT type() const { return s_type; }
private:
    static void Hook(UINT type) { ++s_count; s_type = type; }
    static inline int s_count = 0;
    static inline UINT s_type = 0;
    BeepHook m_previous;
};

// The protected list that one folder's do-not-delete file gives.
ProtectedList Load(const std::wstring& folder)
{
    ProtectedList list;
    LoadProtectedList(folder, list);
    return list;
}

using Entries = std::vector<std::pair<int, std::wstring>>;

// The entries the lines named; each do-not-delete file protects itself besides.
Entries AsEntries(const ProtectedList& list)
{
    Entries out;
    for (const ITEM_2_KEEP& k : list)
        if (!k.path.ends_with(L"\\" + kListFile)) out.emplace_back(k.isFolder, k.path);
    return out;
}

} // namespace

TEST(DetectTextEncoding, MarksInOrderAndInFullThenUtf16ByItsZeroBytes)
{
    struct Case { std::string bytes; TextEncoding encoding; size_t mark; };
    const Case cases[] = {
        {Bytes({0xEF, 0xBB, 0xBF, 'a'}), TextEncoding::Utf8, 3},
        {Bytes({0xEF, 0xBB}), TextEncoding::None, 0},
        {Bytes({0x0E, 0xFE, 0xFF}), TextEncoding::Scsu, 3},
        {Bytes({0xFF, 0xFE, 0, 0}), TextEncoding::Utf32LE, 4},
        {Bytes({0xFF, 0xFE, 0}), TextEncoding::Utf16LE, 2},
        {Bytes({0xFF, 0xFE}), TextEncoding::Utf16LE, 2},
        {Bytes({0xFE, 0xFF, 0, 0}), TextEncoding::Utf16BE, 2},
        {Bytes({0, 0, 0xFE, 0xFF}), TextEncoding::Utf32BE, 4},
        {Bytes({0, 0, 0xFE}), TextEncoding::None, 0},
        {Bytes({0xFF}), TextEncoding::None, 0},
        {std::string("a\0b\0", 4), TextEncoding::Utf16LE, 0},
        {std::string("\0a\0b", 4), TextEncoding::Utf16BE, 0},
        {EncodeUtf16(L"\u65E5ab", false, false), TextEncoding::Utf16LE, 0},   // one character in three not ASCII
        {std::string("ab\0\0\0\0", 6), TextEncoding::None, 0},   // zeros at the end are padding
        {std::string("abc\0de", 6), TextEncoding::None, 0},     // one zero in 8-bit text
        {"plain", TextEncoding::None, 0},
        {"", TextEncoding::None, 0},
    };
    for (const Case& c : cases) {
        TEXT_ENCODING_MARK m = DetectTextEncoding(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(m.encoding, c.encoding) << c.bytes.size();
        EXPECT_EQ(m.markLength, c.mark) << c.bytes.size();
    }
    EXPECT_EQ(DetectTextEncoding(nullptr, 4).encoding, TextEncoding::None);
}

TEST(ReadTextFile, ConvertsEveryReadableEncoding)
{
    ASSERT_EQ(::GetACP(), 1252u) << "the ANSI cases expect code page 1252";
    TempTree t(L"read");
    struct Case { const wchar_t* name; std::string bytes; std::wstring text; };
    const Case cases[] = {
        {L"utf8.txt", "\xEF\xBB\xBF" "caf\xC3\xA9\r\nx", L"caf\u00E9\r\nx"},
        {L"utf8-mark-only.txt", "\xEF\xBB\xBF", L""},
        {L"ansi.txt", "caf\xE9", L"caf\u00E9"},
        {L"ansi-padded.txt", std::string("ab\0\0\0", 5), L"ab"},   // zeros at the end are padding
        {L"empty.txt", "", L""},
        {L"utf16le.txt", EncodeUtf16(L"a\u20ACb\r\n", false), L"a\u20ACb\r\n"},
        {L"utf16le-odd.txt", EncodeUtf16(L"ab", false) + "c", L"ab"},
        {L"utf16le-padded.txt", EncodeUtf16(std::wstring(L"ab\0\0", 4), false), L"ab"},
        {L"utf16be.txt", EncodeUtf16(L"a\u20ACb", true), L"a\u20ACb"},
        {L"utf16-mark-only.txt", Bytes({0xFF, 0xFE}), L""},
        // UTF-16 without a mark, known by its zero bytes.
        {L"utf16le-no-mark.txt", EncodeUtf16(L"Debug\\keep.dat\r\n", false, false), L"Debug\\keep.dat\r\n"},
        {L"utf16be-no-mark.txt", EncodeUtf16(L"Debug\\\u65E5\u672C.dat", true, false), L"Debug\\\u65E5\u672C.dat"},
        {L"utf32le.txt", EncodeUtf32(L"a\u20ACb", false), L"a\u20ACb"},
        {L"utf32be.txt", EncodeUtf32(L"ab", true), L"ab"},
        // Without a mark: valid UTF-8 is UTF-8, anything else ANSI.
        {L"utf8-no-mark.txt", "Debug\\\xE6\x97\xA5\xE6\x9C\xAC.dat\r\nCaf\xC3\xA9", L"Debug\\\u65E5\u672C.dat\r\nCaf\u00E9"},
    };
    for (const Case& c : cases) {
        t.file(c.name, c.bytes);
        Read r = ReadFileText(t.path(c.name));
        EXPECT_TRUE(r.ok) << testutil::Narrow(c.name);
        EXPECT_EQ(r.error, 0u) << testutil::Narrow(c.name);
        EXPECT_EQ(r.text, c.text) << testutil::Narrow(c.name);
    }
}

TEST(ReadTextFile, FailuresKeepTheTextAndLeaveTheirCode)
{
    TempTree t(L"readfail");
    struct Case { const wchar_t* name; std::string bytes; DWORD error; };
    const Case cases[] = {
        {L"scsu.txt", Bytes({0x0E, 0xFE, 0xFF, 'a'}), ERROR_NOT_SUPPORTED},
        {L"utf32-surrogate.txt", Bytes({0xFF, 0xFE, 0, 0, 0x00, 0xD8, 0, 0}), ERROR_NO_UNICODE_TRANSLATION},
        {L"utf32-beyond.txt", Bytes({0xFF, 0xFE, 0, 0, 0, 0, 0x11, 0}), ERROR_NO_UNICODE_TRANSLATION},
        // A zero with text after it would cut the text short: not read, in any encoding.
        {L"ansi-nul.txt", std::string("ab\0cd", 5), ERROR_INVALID_DATA},
        {L"utf8-nul.txt", std::string("\xEF\xBB\xBF" "ab\0cd", 8), ERROR_INVALID_DATA},
        {L"utf16le-nul.txt", EncodeUtf16(std::wstring(L"ab\0cd", 5), false), ERROR_INVALID_DATA},
        {L"utf16le-no-mark-nul.txt", EncodeUtf16(std::wstring(L"one\0\r\ntwo", 9), false, false), ERROR_INVALID_DATA},
        {L"utf32be-nul.txt", EncodeUtf32(std::wstring(L"a\0b", 3), true), ERROR_INVALID_DATA},
    };
    for (const Case& c : cases) {
        t.file(c.name, c.bytes);
        Read r = ReadFileText(t.path(c.name));
        EXPECT_FALSE(r.ok) << testutil::Narrow(c.name);
        EXPECT_EQ(r.error, c.error) << testutil::Narrow(c.name);
        EXPECT_EQ(r.text, L"unchanged");
    }
    // Too large for the caller's limit.
    t.file(L"large.txt", std::string(100, 'a'));
    std::wstring text = L"unchanged";
    EXPECT_FALSE(ReadTextFile(t.path(L"large.txt"), text, 99));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_TOO_LARGE));

    // A file that is not there reads as empty, and says so.
    Read missing = ReadFileText(t.path(L"missing.txt"));
    EXPECT_TRUE(missing.ok);
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(missing.text, L"");

    // A file held without sharing cannot be opened.
    t.file(L"locked.txt", "a");
    UniqueFile lock = testutil::HoldFile(t.path(L"locked.txt"));
    ASSERT_TRUE(lock.valid());
    Read locked = ReadFileText(t.path(L"locked.txt"));
    EXPECT_FALSE(locked.ok);
    EXPECT_EQ(locked.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(locked.text, L"unchanged");

    // An editor that holds the file open with sharing does not stop the read.
    t.file(L"shared.txt", "a");
    UniqueFile editor = testutil::HoldFile(t.path(L"shared.txt"), FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(editor.valid());
    Read shared = ReadFileText(t.path(L"shared.txt"));
    EXPECT_TRUE(shared.ok);
    EXPECT_EQ(shared.text, L"a");
}

TEST(ProtectedList, LineEndsBlanksSlashesAndKinds)
{
    TempTree t(L"lines");
    t.dir(L"F/one");
    t.dir(L"F/two");
    t.files({L"F/three", L"F/a", L"F/b", L"F/ab"});
    t.dir(L"F/c");
    t.dir(L"F/bin/Release");
    t.file(L"F/bin/Keep.dll");
    t.dir(L"F/obj");
    auto folder = [&](const wchar_t* rel) { return std::pair{1, t.path(rel)}; };
    auto file = [&](const wchar_t* rel) { return std::pair{0, t.path(rel)}; };
    const Entries oneTwoThree = {folder(L"F/one"), folder(L"F/two"), file(L"F/three")};

    const std::pair<std::string, Entries> cases[] = {
        {"one\r\ntwo\r\nthree\r\n", oneTwoThree},
        {"one\ntwo\n\n\nthree", oneTwoThree},
        {"\rone\rtwo\r\rthree\r", oneTwoThree},            // old line ends
        {"a\rb\nc", {file(L"F/ab"), folder(L"F/c")}},      // mixed: the CR goes, it splits nothing
        {"  bin\\Release \t\r\n\t bin/Keep.dll\r\n   \r\n\t\r\n", {folder(L"F/bin/Release"), file(L"F/bin/Keep.dll")}},
        {"obj\\", {folder(L"F/obj")}},
        {"nothing\nno\\such\\folder\none", {folder(L"F/one")}},
        {"", {}},
        {"\xEF\xBB\xBF", {}},
        {EncodeUtf16(L"one\r\ntwo\r\nthree\r\n", false), oneTwoThree},
        {EncodeUtf16(L"one\ntwo\nthree", true), oneTwoThree},
        {EncodeUtf16(L"one\r\ntwo\r\nthree\r\n", false, false), oneTwoThree},
    };
    BeepCounter beeps;
    int n = 0;
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(n++);
        t.file(L"F/" + kListFile, text);
        ProtectedList list = Load(t.path(L"F"));
        EXPECT_EQ(AsEntries(list), expected);
        for (const ITEM_2_KEEP& k : list) {
            EXPECT_EQ(k.path.find_first_of(L"\r\n/"), std::wstring::npos);
            EXPECT_NE(k.path.back(), L'\\');
        }
    }
    EXPECT_EQ(beeps.count(), 0);
}

TEST(ProtectedList, RelativeAndAbsoluteLines)
{
    TempTree t(L"abs");
    t.file(L"Elsewhere/x.txt");
    t.dir(L"Elsewhere/Dir");
    t.dir(L"F/Dir");
    const std::wstring rootRelative = t.path(L"Elsewhere/Dir").substr(2);   // "\..." without the drive
    ASSERT_EQ(rootRelative[0], L'\\');
    t.file(L"F/" + kListFile, testutil::Narrow(t.path(L"Elsewhere/x.txt") + L"\n" + rootRelative + L"\nDir\n"));

    EXPECT_EQ(AsEntries(Load(t.path(L"F") + L"\\")), (Entries{
        {0, t.path(L"Elsewhere/x.txt")},
        {1, rootRelative},              // absolute: not joined to F
        {1, t.path(L"F/Dir")},
    }));
}

TEST(ProtectedList, DuplicatesAreComparedInOneSpelling)
{
    TempTree t(L"dup");
    t.dir(L"F/Sub");
    auto load = [&](const std::string& text) {
        t.file(L"F/" + kListFile, text);
        return AsEntries(Load(t.path(L"F"))).size();
    };
    EXPECT_EQ(load("Sub\nSUB\nsub"), 1u);
    EXPECT_EQ(load("Sub\\\nSub"), 1u);
    EXPECT_EQ(load("Sub\nSub\\\n.\\Sub\\\\\n\"Sub\"\nSub/"), 1u);

    // Entries of earlier files count; kinds are judged when the line is read
    // and only entries of the same kind are compared.
    t.file(L"F/X");
    ProtectedList list;
    t.file(L"F/" + kListFile, "X\nx");
    LoadProtectedList(t.path(L"F"), list);
    testutil::RemoveTree(t.path(L"F/X"));
    t.dir(L"F/X");
    t.file(L"F/" + kListFile, "X\nSub");
    LoadProtectedList(t.path(L"F"), list);
    t.file(L"F/" + kListFile, "x\nsub");
    LoadProtectedList(t.path(L"F"), list);
    EXPECT_EQ(AsEntries(list), (Entries{{0, t.path(L"F/X")}, {1, t.path(L"F/X")}, {1, t.path(L"F/Sub")}}));
}

TEST(ProtectedList, DotSegmentsResolveToTheObjectTheyName)
{
    TempTree t(L"dots");
    t.dir(L"F/obj");
    t.file(L"F/keep.txt");
    t.dir(L"F/src");
    t.file(L"F/" + kListFile, ".\\obj\nsrc\\..\\keep.txt\n..\\F\\.\\obj\nsrc\\.\\.\\..\\..\\F\\src");
    EXPECT_EQ(AsEntries(Load(t.path(L"F"))), (Entries{
        {1, t.path(L"F/obj")},
        {0, t.path(L"F/keep.txt")},
        {1, t.path(L"F/src")},
    }));
}

TEST(ProtectedList, UnreadableFilesBeepAndFail)
{
    TempTree t(L"beep");
    t.dir(L"F/one");
    ProtectedList list;
    BeepCounter beeps;
    t.file(L"F/" + kListFile, "one");
    EXPECT_TRUE(LoadProtectedList(t.path(L"F"), list));
    ASSERT_EQ(AsEntries(list).size(), 1u);

    int expected = 0;
    t.file(L"F/" + kListFile, Bytes({0x0E, 0xFE, 0xFF, 'o'}));
    EXPECT_FALSE(LoadProtectedList(t.path(L"F"), list));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(beeps.count(), ++expected);
    EXPECT_EQ(beeps.type(), static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(AsEntries(list).size(), 1u);   // earlier entries stay

    t.file(L"F/" + kListFile, "one");
    {
        UniqueFile lock = testutil::HoldFile(t.path(L"F/" + kListFile));
        ASSERT_TRUE(lock.valid());
        EXPECT_FALSE(LoadProtectedList(t.path(L"F"), list));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(beeps.count(), ++expected);
    }

    // No file, or a folder of that name: silence.
    t.dir(L"G/" + kListFile + L"/one");
    EXPECT_TRUE(Load(t.path(L"G")).empty());
    EXPECT_TRUE(Load(t.path(L"Missing")).empty());
    EXPECT_TRUE(Load(L"").empty());
    EXPECT_EQ(beeps.count(), expected);
}

TEST(ProtectedList, TheWalkReadsEveryFolderFileFirstEvenInFoldersPlannedWhole)
{
    TempTree t(L"walk");
    t.files({L"Sol/Sol.sln", L"Sol/keep.log"});
    t.file(L"Sol/" + kListFile, "keep.log\r\n");
    t.file(L"Sol/App/x64/Debug/App.exe");
    t.file(L"Sol/App/x64/Debug/" + kListFile, "App.exe");
    t.file(L"Sol/App/x64/Debug/sub/" + kListFile, "..\\App.exe\r\nkeep.dat");   // deep inside Debug: read too
    t.file(L"Sol/App/x64/Debug/sub/keep.dat");

    DeletePlan plan;
    ProtectedList list;
    ASSERT_TRUE(CollectArtifacts(t.path(L"Sol"), plan, FALSE, list, WalkTop::SolutionFolder));
    std::sort(plan.begin(), plan.end(), [](auto& a, auto& b) { return a.strPath < b.strPath; });
    Entries entries = AsEntries(list);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (Entries{
        {0, t.path(L"Sol/App/x64/Debug/App.exe")},
        {0, t.path(L"Sol/App/x64/Debug/sub/keep.dat")},
        {0, t.path(L"Sol/keep.log")},
    }));
    // The do-not-delete files protect themselves.
    EXPECT_TRUE(list.Protects(t.path(L"Sol/App/x64/Debug/sub/" + kListFile), false));
    EXPECT_TRUE(list.HasEntryBelow(t.path(L"Sol/App/x64/Debug")));
    EXPECT_FALSE(list.HasEntryBelow(t.path(L"Sol/Lib")));
}
