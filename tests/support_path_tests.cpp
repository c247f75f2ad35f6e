#include <gtest/gtest.h>

#include <algorithm>

#include "support/DirListing.h"
#include "support/ListingAhead.h"
#include "support/PathUtil.h"
#include "support/Version.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

TEST(NormalizeFolderPath, MissingOrBlankPathStaysEmptyWithEitherFlag)
{
    EXPECT_EQ(NormalizeFolderPath(static_cast<const wchar_t*>(nullptr), TRUE), L"");
    EXPECT_EQ(NormalizeFolderPath(static_cast<const wchar_t*>(nullptr), FALSE), L"");
    EXPECT_EQ(NormalizeFolderPath(L" \t\r\n", TRUE), L"");
    EXPECT_EQ(NormalizeFolderPath(std::wstring(), FALSE), L"");
}

TEST(NormalizeFolderPath, TrimsBlanksThenAddsOrStripsOneSeparator)
{
    EXPECT_EQ(NormalizeFolderPath(L" C:\\Work\\ ", FALSE), L"C:\\Work");
    EXPECT_EQ(NormalizeFolderPath(L" C:\\Work\\ ", TRUE), L"C:\\Work\\");
    EXPECT_EQ(NormalizeFolderPath(L"C:\\Work", TRUE), L"C:\\Work\\");
    // Two trailing separators: only one goes.
    EXPECT_EQ(NormalizeFolderPath(L"C:\\Work//", FALSE), L"C:\\Work/");
    EXPECT_EQ(NormalizeFolderPath(L"C:\\Work\\\\", FALSE), L"C:\\Work\\");
    // A forward slash counts as a separator and is kept as it is.
    EXPECT_EQ(NormalizeFolderPath(L"C:/Work/", TRUE), L"C:/Work/");
    // Tab and line feed at the end are trimmed before the separator test.
    EXPECT_EQ(NormalizeFolderPath(L"C:\\Work\\\t\n", FALSE), L"C:\\Work");
    EXPECT_EQ(NormalizeFolderPath(L"C:", TRUE), L"C:\\");
    EXPECT_EQ(NormalizeFolderPath(L"C:\\", FALSE), L"C:");
    // Only " \t\r\n" are blanks: a vertical tab or form feed stays.
    EXPECT_EQ(NormalizeFolderPath(L"C:\\Work\v", FALSE), L"C:\\Work\v");
    // Nothing inside the path changes.
    EXPECT_EQ(NormalizeFolderPath(L"c:\\a/..\\.\\B", FALSE), L"c:\\a/..\\.\\B");
}

TEST(GetParentPath, CutsAtLastBackslashElseLastSlash)
{
    EXPECT_EQ(GetParentPath(L"C:\\"), L"C:");
    EXPECT_EQ(GetParentPath(L"C:"), L"");
    EXPECT_EQ(GetParentPath(L""), L"");
    EXPECT_EQ(GetParentPath(L"C:\\s\\x64\\a.obj"), L"C:\\s\\x64");
    EXPECT_EQ(GetParentPath(L"a/b/c"), L"a/b");
    // A backslash wins over a slash that stands after it.
    EXPECT_EQ(GetParentPath(L"a\\b/c"), L"a");
    EXPECT_EQ(GetParentPath(L" C:\\x \\y "), L" C:\\x ");
}

TEST(IsRelativePath, FollowsThePathIsRelativeRuleWithSlashesAsBackslashes)
{
    for (const wchar_t* path : {L"", L".\\x", L"..\\x", L"bin\\Release", L"C"})
        EXPECT_TRUE(IsRelativePath(path)) << testutil::Narrow(path);
    for (const wchar_t* path : {L"/tmp", L"\\Temp", L"\\\\server\\share", L"//server/share", L"C:\\dir", L"C:dir", L"D:data"})
        EXPECT_FALSE(IsRelativePath(path)) << testutil::Narrow(path);
    std::wstring original = L"a/b";
    IsRelativePath(original);
    EXPECT_EQ(original, L"a/b");
}

TEST(IsExistingFile, TellsFilesFromFoldersWithTheirErrorCodes)
{
    TempTree t;
    t.file(L"a.txt");
    t.dir(L"sub");
    SetLastError(1234);
    EXPECT_TRUE(IsExistingFile(t.path(L"a.txt")));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(IsExistingFile(t.path(L"sub")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
    EXPECT_FALSE(IsExistingFile(t.path(L"missing.txt")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(PathsEqual, IgnoresCaseAndNothingElse)
{
    EXPECT_TRUE(PathsEqual(L"C:\\Work\\A", L"c:\\work\\a"));
    EXPECT_FALSE(PathsEqual(L"C:\\Work\\A", L"C:\\Work\\A\\"));
    EXPECT_FALSE(PathsEqual(L"C:\\Work\\A", L"C:/Work/A"));
    EXPECT_FALSE(PathsEqual(L"C:\\Work\\.\\A", L"C:\\Work\\A"));
    EXPECT_TRUE(PathsEqual(L"", L""));
    EXPECT_TRUE(PathsEqual(L"C:\\\u00c4RGER", L"c:\\\u00e4rger"));
}

TEST(TextOperations, TrimRemoveSplitAndFormat)
{
    EXPECT_EQ(TrimBlanks(L" \t\r\nx y\n"), L"x y");
    EXPECT_EQ(TrimBlanks(L"\vx\v"), L"\vx\v");
    EXPECT_EQ(TrimWhiteSpace(L"\v\f x \t\r\n"), L"x");
    EXPECT_EQ(TrimWhiteSpace(L"   "), L"");
    EXPECT_EQ(RemoveChar(L"a\rb\r\rc", L'\r'), L"abc");
    EXPECT_EQ(SplitTokens(L"\n\na\n\nb\nc\n", L"\n"), (std::vector<std::wstring>{L"a", L"b", L"c"}));
    EXPECT_EQ(SplitTokens(L"a\r\nb", L"\r\n"), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(SplitTokens(L"\n\n", L"\n").empty());
    EXPECT_TRUE(SplitTokens(L"", L"\n").empty());
    EXPECT_EQ(FormatText(L"ERROR: (%d) \"%ls\". %ls", -5, L"C:\\s", L""), L"ERROR: (-5) \"C:\\s\". ");
    EXPECT_EQ(FormatText(L"%ls\\%ls", std::wstring(300, L'a').c_str(), L"b").size(), 302u);
}

TEST(GetOSVersion, RejectsMissingRecordAndFillsBothRecordSizes)
{
    SetLastError(0);
    EXPECT_FALSE(GetOSVersion(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof(v);
    ASSERT_TRUE(GetOSVersion(&v));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_GE(v.dwMajorVersion, 5u);
    EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));

    OSVERSIONINFOEXW ex{};
    ex.dwOSVersionInfoSize = sizeof(ex);
    ASSERT_TRUE(GetOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&ex)));
    EXPECT_EQ(ex.dwMajorVersion, v.dwMajorVersion);
    EXPECT_EQ(ex.dwMinorVersion, v.dwMinorVersion);
    EXPECT_EQ(ex.dwBuildNumber, v.dwBuildNumber);
    EXPECT_NE(ex.wProductType, 0);

    EXPECT_EQ(IsWindows7OrLater(), v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion >= 1));
}

TEST(JoinPath, OneSeparatorBetweenBaseAndName)
{
    struct Case { const wchar_t* base; const wchar_t* expected; };
    const Case cases[] = {
        {L"Z:\\", L"Z:\\a.obj"},
        {L"Z:\\src", L"Z:\\src\\a.obj"},
        {L"Z:\\src\\", L"Z:\\src\\a.obj"},
        {L"Z:/src/", L"Z:/src/a.obj"},
        {L"\\\\?\\Z:\\src", L"\\\\?\\Z:\\src\\a.obj"},
        {L"\\\\?\\Z:\\", L"\\\\?\\Z:\\a.obj"},
        {L"\\\\server\\share", L"\\\\server\\share\\a.obj"},
        {L"", L"a.obj"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JoinPath(c.base, L"a.obj"), c.expected) << c.base;
        std::wstring grown = c.base;
        EXPECT_EQ(AppendPath(grown, L"a.obj"), c.expected) << c.base;
    }
}

TEST(DirListing, GivesEveryEntryButDotsTellsLinksAndHowTheListingEnded)
{
    TempTree t(L"listing");
    t.file(L"a.txt", "12345");
    t.dir(L"sub");
    ASSERT_TRUE(testutil::MakeDirSymlink(t.path(L"link"), t.path(L"sub")));
    for (const std::wstring& folder : {t.root(), t.root() + L"\\"}) {
        std::vector<std::wstring> seen;
        const LISTING_END end = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
            std::wstring name = e.cFileName;
            if (DirListing::IsLink(e)) name += L" link";
            else if (DirListing::IsDirectory(e)) name += L" folder";
            else name += L" " + std::to_wstring(DirListing::FileBytes(e));
            seen.push_back(name);
        });
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<std::wstring>{L"a.txt 5", L"link link", L"sub folder"}));
        EXPECT_TRUE(end.Complete());
    }
    // Stopped by the caller: no failure, but not complete either.
    const LISTING_END stopped = ForEachEntry(t.root(), [](const WIN32_FIND_DATAW&) { return false; });
    EXPECT_TRUE(stopped.stopped && !stopped.Failed() && !stopped.Complete());
    // A folder that cannot be listed, and one whose listing cannot reach a
    // sub-folder with a '*' in its name: both failures, with their codes.
    const LISTING_END missing = ForEachEntry(t.path(L"none"), [](const WIN32_FIND_DATAW&) {});
    EXPECT_FALSE(missing.opened);
    EXPECT_EQ(missing.error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"sub/star*")));
    const TREE_TOTALS totals = MeasureTree(t.root());
    EXPECT_EQ(totals.error, static_cast<DWORD>(ERROR_INVALID_NAME)) << "a measure that falls short says so";
    EXPECT_EQ(totals.bytes, 5u);
}

// Listing ahead: a depth-first walk that takes every folder through it sees
// what its own listings would show, entry for entry and in the same order,
// however the two threads share the folders, and each folder is listed once.
TEST(ListingAhead, AWalkSeesWhatItsOwnListingsShowEachFolderListedOnce)
{
    TempTree t(L"ahead");
    for (int p = 0; p < 12; ++p)
        for (const wchar_t* rel : {L"src/a.cpp", L"x64/Debug/a.obj", L"x64/Release/sub/b.pdb", L"obj/c.log"})
            t.file(L"P" + std::to_wstring(p) + L"/" + rel, std::string(p + 1, 'x'));
    ASSERT_TRUE(testutil::MakeStarNamedFolder(t.path(L"P5/src/star*")));
    const std::wstring root = t.root() + L"\\";

    // Each entry as "folder|name|attributes|bytes|written", then how its listing ended.
    auto walk = [](const std::wstring& folder, auto list, auto& self, std::vector<std::wstring>& seen) -> void {
        std::vector<std::wstring> subfolders;
        const LISTING_END end = list(folder, [&](const WIN32_FIND_DATAW& e) {
            seen.push_back(folder + L"|" + e.cFileName + L"|" + std::to_wstring(e.dwFileAttributes) + L"|" +
                           std::to_wstring(DirListing::FileBytes(e)) + L"|" + std::to_wstring(DirListing::WriteTime(e)));
            if (DirListing::IsDirectory(e)) subfolders.push_back(folder + e.cFileName + L"\\");
        });
        seen.push_back(L"end " + std::to_wstring(end.error) + L" " + std::to_wstring(end.opened));
        for (const std::wstring& sub : subfolders) self(sub, list, self, seen);
    };
    std::vector<std::wstring> own;
    DirListing::ResetListingsStarted();
    walk(root, [](const std::wstring& f, auto on) { return ForEachEntry(f, on); }, walk, own);
    const unsigned long long folders = DirListing::ListingsStarted();
    ASSERT_EQ(folders, 1u + 12 * 7 + 1);

    for (int round = 0; round < 3; ++round) {
        std::vector<std::wstring> ahead;
        DirListing::ResetListingsStarted();
        {
            ListingAhead lister;
            walk(root, [&](const std::wstring& f, auto on) {
                const HeldListing held = lister.Take(f);
                (void)held.ForEach([&](const WIN32_FIND_DATAW& e) {
                    if (DirListing::IsDirectory(e)) lister.Expect(f + e.cFileName + L"\\");
                });
                return held.ForEach(on);
            }, walk, ahead);
            EXPECT_EQ(DirListing::ListingsStarted(), folders) << "each folder listed once";
            lister.Expect(t.path(L"never taken\\"));   // dropped, harmlessly
            ::SetLastError(ERROR_INVALID_NAME);
        }
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << "the last error outlives the lister";
        EXPECT_EQ(ahead, own);
    }

    // A replay stopped by the caller says so, like a listing.
    HeldListing held;
    held.List(root);
    const LISTING_END stopped = held.ForEach([](const WIN32_FIND_DATAW&) { return false; });
    EXPECT_TRUE(stopped.stopped && !stopped.Failed());
}
