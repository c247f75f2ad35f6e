#include <gtest/gtest.h>

#include "support/ErrorText.h"
#include "engine/SolutionDetect.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

namespace {
// What the system's own message table says, line breaks removed.
std::wstring SystemText(DWORD code)
{
    wchar_t* sys = nullptr;
    std::wstring text;
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       nullptr, code, LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&sys), 0, nullptr) && sys) {
        text = sys;
    }
    if (sys) LocalFree(sys);
    std::erase(text, L'\r');
    std::erase(text, L'\n');
    return text;
}

// Runs the detection procedure: ".sln", then ".slnx".
bool Detect(const std::wstring& folder, std::wstring& base)
{
    for (const wchar_t* ext : kSolutionExtensions)
        if (FindSolutionFile(folder, ext, &base)) return true;
    return false;
}
} // namespace

TEST(FindSolutionFile, MatchesExtensionCaseInsensitivelyAndGivesTheBaseName)
{
    TempTree t;
    t.file(L"My.App.SLN");
    t.file(L"readme.txt");
    std::wstring base = L"stale";
    SetLastError(0);
    EXPECT_TRUE(FindSolutionFile(t.root(), L".sln", &base));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(base, L"My.App");
    // The out parameter may be omitted.
    EXPECT_TRUE(FindSolutionFile(t.root(), L".sln", nullptr));
    // No .slnx file: a complete listing without a match, base name emptied.
    EXPECT_FALSE(FindSolutionFile(t.root(), L".slnx", &base));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(base, L"");
}

TEST(FindSolutionFile, SlnWinsOverSlnxAndSlnxAloneIsFoundSecond)
{
    TempTree both;
    both.file(L"App.slnx");
    both.file(L"App.sln");
    std::wstring base;
    ASSERT_TRUE(Detect(both.root(), base));
    EXPECT_EQ(base, L"App");
    EXPECT_TRUE(FindSolutionFile(both.root(), L".sln", nullptr));

    TempTree slnx;
    slnx.file(L"Tool.Slnx");
    EXPECT_FALSE(FindSolutionFile(slnx.root(), L".sln", &base));
    ASSERT_TRUE(Detect(slnx.root(), base));
    EXPECT_EQ(base, L"Tool");
}

TEST(FindSolutionFile, HiddenAndReadOnlySolutionFilesCount)
{
    TempTree t;
    t.file(L"Hidden.sln");
    ASSERT_TRUE(SetFileAttributesW(t.path(L"Hidden.sln").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    std::wstring base;
    EXPECT_TRUE(Detect(t.root(), base));
    EXPECT_EQ(base, L"Hidden");
    SetFileAttributesW(t.path(L"Hidden.sln").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FindSolutionFile, LooksOneLevelDeepAndOnlyAtFiles)
{
    TempTree t;
    t.dir(L"App.sln");                 // a folder with a solution's name
    t.file(L"src/Deep.sln");           // a solution one level down
    t.file(L"App.sln.bak");
    t.file(L"App.sln.txt");
    t.file(L"App.sl n");
    std::wstring base = L"x";
    EXPECT_FALSE(Detect(t.root(), base));
    EXPECT_EQ(base, L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST(FindSolutionFile, FileNamedOnlyDotSlnGivesAnEmptyBaseName)
{
    TempTree t;
    t.file(L".sln");
    std::wstring base = L"x";
    EXPECT_TRUE(FindSolutionFile(t.root(), L".sln", &base));
    EXPECT_EQ(base, L"");
}

TEST(FindSolutionFile, SameAnswerWithTrailingSeparatorsAndBlanks)
{
    TempTree t;
    t.file(L"App.sln");
    for (const std::wstring& form : {t.root(), t.root() + L"\\", L"  " + t.root() + L"\\ \t", t.root() + L"/",
                                     L"\r\n" + t.root()}) {
        std::wstring base;
        EXPECT_TRUE(FindSolutionFile(form, L".sln", &base)) << testutil::Narrow(form);
        EXPECT_EQ(base, L"App");
    }
}

TEST(FindSolutionFile, MissingFolderReportsTheListingError)
{
    TempTree t;
    std::wstring base = L"x";
    EXPECT_FALSE(FindSolutionFile(t.path(L"no-such-folder"), L".sln", &base));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(base, L"");
    // A file instead of a folder cannot be listed either.
    t.file(L"plain.sln");
    EXPECT_FALSE(FindSolutionFile(t.path(L"plain.sln"), L".sln", &base));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST(GetErrorText, CodeZeroIsEmptyWithoutLookup)
{
    SetLastError(12345);
    EXPECT_EQ(GetErrorText(0), L"");
    EXPECT_EQ(GetLastError(), 12345u);   // nothing was looked up
}

TEST(GetErrorText, SystemTextsComeWithoutLineBreaks)
{
    std::wstring denied = GetErrorText(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(denied.empty());
    EXPECT_EQ(denied.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(denied.find(L"ccess"), std::wstring::npos) << testutil::Narrow(denied);
    // Just outside the Internet range on both sides: the system table.
    for (DWORD code : {11999u, 12176u, 2u, 0x2010u, 0x2141u})
        EXPECT_EQ(GetErrorText(code), SystemText(code)) << code;
}

TEST(GetErrorText, InternetRangeComesFromWininet)
{
    std::wstring inside = GetErrorText(12002);   // ERROR_INTERNET_TIMEOUT
    EXPECT_FALSE(inside.empty());
    EXPECT_EQ(inside.find_first_of(L"\r\n"), std::wstring::npos);
    // The system table alone has no text for it.
    EXPECT_EQ(SystemText(12002), L"");
    // The module is released after every lookup: it is not left loaded.
    EXPECT_EQ(GetModuleHandleW(L"wininet.dll"), nullptr);
}

TEST(GetErrorText, CodeWithoutTextGivesEmptyString)
{
    EXPECT_EQ(GetErrorText(0x0FFFFFFF), L"");
    EXPECT_EQ(GetErrorText(12175 + 1000), SystemText(12175 + 1000));
}
