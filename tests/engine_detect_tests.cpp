#include <gtest/gtest.h>

#include "engine/planning/SolutionDetect.h"
#include "support/ErrorText.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

TEST(FindSolutionFile, FilesDirectlyInsideByExtensionInAnyCase)
{
    struct CASE {
        std::vector<std::wstring> files;   // a trailing '/' makes a folder
        const wchar_t* extension;
        bool found;
        const wchar_t* base;
    };
    const CASE cases[] = {
        {{L"My.App.SLN", L"readme.txt"}, L".sln", true, L"My.App"},
        {{L"My.App.SLN"}, L".slnx", false, L""},
        {{L"Tool.Slnx", L"App.sln.bak"}, L".slnx", true, L"Tool"},
        {{L".sln"}, L".sln", true, L""},   // an empty base name
        // Not solution files: a folder with a solution's name, one a level
        // down, other extensions, a blank after the dot.
        {{L"App.sln/", L"src/Deep.sln", L"App.sln.txt", L"App.sl n"}, L".sln", false, L""},
    };
    for (const CASE& c : cases) {
        TempTree t(L"detect");
        for (const std::wstring& f : c.files) {
            if (f.back() == L'/') t.dir(f);
            else t.file(f);
        }
        std::wstring base = L"stale";
        ::SetLastError(0);
        EXPECT_EQ(FindSolutionFile(t.root(), c.extension, &base) != FALSE, c.found) << testutil::Narrow(c.files[0]);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_EQ(base, c.base);
    }

    // Hidden and read-only solution files count; the folder may be written
    // with separators and blanks around it; the base name may be left out.
    TempTree t(L"detect");
    t.file(L"Hidden.sln");
    ASSERT_TRUE(SetFileAttributesW(t.path(L"Hidden.sln").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    for (const std::wstring& form : {t.root() + L"\\", L"  " + t.root() + L"\\ \t", t.root() + L"/", L"\r\n" + t.root()}) {
        std::wstring base;
        EXPECT_TRUE(FindSolutionFile(form, L".sln", &base)) << testutil::Narrow(form);
        EXPECT_EQ(base, L"Hidden");
    }
    EXPECT_TRUE(FindSolutionFile(t.root(), L".sln", nullptr));
    SetFileAttributesW(t.path(L"Hidden.sln").c_str(), FILE_ATTRIBUTE_NORMAL);

    // A folder that cannot be listed: its listing's error, no base name.
    std::wstring base = L"x";
    EXPECT_FALSE(FindSolutionFile(t.path(L"no-such-folder"), L".sln", &base));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(base, L"");
    EXPECT_FALSE(FindSolutionFile(t.path(L"Hidden.sln"), L".sln", &base));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
}

TEST(GetErrorText, OneLineFromTheRightTableOrNothing)
{
    // Code 0 is looked up nowhere.
    SetLastError(12345);
    EXPECT_EQ(GetErrorText(0), L"");
    EXPECT_EQ(GetLastError(), 12345u);

    const std::wstring denied = GetErrorText(ERROR_ACCESS_DENIED);
    EXPECT_NE(denied.find(L"ccess"), std::wstring::npos) << testutil::Narrow(denied);
    // The Internet range comes from wininet.dll, which is not left loaded; the
    // codes just outside it and codes without a text give nothing.
    const std::wstring timeout = GetErrorText(12002);
    EXPECT_FALSE(timeout.empty());
    EXPECT_EQ(GetModuleHandleW(L"wininet.dll"), nullptr);
    for (DWORD code : {11999u, 12176u, 0x0FFFFFFFu}) EXPECT_EQ(GetErrorText(code), L"") << code;
    // The program's own codes have texts of their own.
    EXPECT_FALSE(GetErrorText(kErrorRecycleBinRefused).empty());
    for (const std::wstring& text : {denied, timeout, GetErrorText(kErrorItemRemains)})
        EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos) << testutil::Narrow(text);
}
