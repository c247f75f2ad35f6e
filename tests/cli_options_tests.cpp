// The console program's option table, read in this process, and its JSON
// writer, on its own and through the program's output.
#include <gtest/gtest.h>

#include <cwctype>

#include "cli/Json.h"
#include "cli/Options.h"
#include "support/PathUtil.h"
#include "tests/TestUtil.h"

namespace {

// The options that `args` set, in table order ("--older-than=5"), then each folder
// after a '|'; or the problem, prefixed "error: ".
std::wstring Parse(std::vector<std::wstring> args)
{
    std::vector<wchar_t*> argv{const_cast<wchar_t*>(L"mopwright-cli")};
    for (std::wstring& arg : args) argv.push_back(arg.data());
    OPTIONS options;
    std::wstring problem;
    if (!ParseArguments(static_cast<int>(argv.size()), argv.data(), options, problem)) return L"error: " + problem;
    std::wstring out;
    for (const OPTION_ROW& row : OptionTable()) {
        if (row.flag && options.*row.flag) out += std::wstring(out.empty() ? L"" : L" ") + row.name;
        if (row.number && options.*row.number >= 0)
            out += std::wstring(out.empty() ? L"" : L" ") + row.name + L"=" + std::to_wstring(options.*row.number);
    }
    for (const std::wstring& folder : options.folders) out += L"|" + folder;
    return out;
}

} // namespace

TEST(CliOptions, TheTableReadsEveryArgumentAsBefore)
{
    const std::wstring notAnOption = L" is not an option: options begin with \"--\", two hyphen-minus signs (write -- "
                                     L"before a folder whose name begins with a dash)\n";
    const std::wstring restoreOnly = L"error: mopwright-cli: --restore takes only --dry-run, --json and folders\n";
    const std::wstring checkAlone = L"error: mopwright-cli: --check takes exactly one folder and no other option\n";
    const std::wstring days = L"error: mopwright-cli: --older-than takes a number of days\n";
    const struct CASE {
        std::vector<std::wstring> args;
        std::wstring expected;
    } cases[] = {
        {{L"--dry-run", L"--json", L"C:\\S"}, L"--dry-run --json|C:\\S"},
        {{L"--delete-suo", L"--force-top-level", L"--recurse", L"--include-tracked", L"C:\\S", L"C:\\T"},
         L"--delete-suo --force-top-level --recurse --include-tracked|C:\\S|C:\\T"},
        {{L"--help"}, L"--help"},
        {{L"-h"}, L"--help"},
        {{L"/?"}, L"--help"},
        {{L"--version", L"--restore", L"--recurse"}, L"--recurse --restore --version"},   // no rule but usage
        {{L"--help", L"--bogus"}, L"error: mopwright-cli: unknown option --bogus\n"},
        {{L"-x", L"C:\\S"}, L"error: mopwright-cli: unknown option -x\n"},
        {{L"-"}, L"|" + FullPath(L"-")},
        {{}, L"error: mopwright-cli: no folder given\n"},
        // "--" ends the options: what follows is a folder, whatever it looks like.
        {{L"--", L"--json", L"/?", L"\u2014x"}, L"|" + FullPath(L"--json") + L"|" + FullPath(L"/?") + L"|" + FullPath(L"\u2014x")},
        // --older-than DAYS: 0 to 100000 days.
        {{L"--older-than", L"5", L"C:\\S"}, L"--older-than=5|C:\\S"},
        {{L"--older-than", L"100000", L"C:\\S"}, L"--older-than=100000|C:\\S"},
        {{L"--older-than", L"100001", L"C:\\S"}, days},
        {{L"--older-than", L"-1", L"C:\\S"}, days},
        {{L"--older-than", L"5x", L"C:\\S"}, days},
        {{L"--older-than", L"", L"C:\\S"}, days},
        {{L"--older-than"}, days},
        // Dashes that are not hyphen-minus, and options the Windows way.
        {{L"\u2014dry-run", L"C:\\S"}, L"error: mopwright-cli: \u2014dry-run" + notAnOption},
        {{L"\u2212\u2212json"}, L"error: mopwright-cli: \u2212\u2212json" + notAnOption},
        {{L"\uFF0Drecurse"}, L"error: mopwright-cli: \uFF0Drecurse" + notAnOption},
        {{L"/dry-run", L"C:\\S"},
         L"error: mopwright-cli: /dry-run is neither an option nor an existing folder: options begin with \"--\"\n"},
        {{L"/?x"}, L"error: mopwright-cli: /?x is neither an option nor an existing folder: options begin with \"--\"\n"},
        {{L"/1"}, L"|" + FullPath(L"/1")},
        // What goes with --check, --restore and the shell menu.
        {{L"--check", L"C:\\S"}, L"--check|C:\\S"},
        {{L"--check"}, checkAlone},
        {{L"--check", L"C:\\S", L"C:\\T"}, checkAlone},
        {{L"--check", L"--json", L"C:\\S"}, checkAlone},
        {{L"--check", L"--restore", L"C:\\S"}, checkAlone},
        {{L"--restore", L"--dry-run", L"--json", L"C:\\S"}, L"--dry-run --json --restore|C:\\S"},
        {{L"--restore", L"--recurse", L"C:\\S"}, restoreOnly},
        {{L"--restore", L"--older-than", L"0", L"C:\\S"}, restoreOnly},
        {{L"--restore", L"--install-shell-menu"}, restoreOnly},
        {{L"--install-shell-menu"}, L"--install-shell-menu"},
        {{L"--uninstall-shell-menu", L"C:\\S"}, L"error: mopwright-cli: --uninstall-shell-menu takes no folder\n"},
        {{L"--install-shell-menu", L"--uninstall-shell-menu"},
         L"error: mopwright-cli: --install-shell-menu and --uninstall-shell-menu cannot be given together\n"},
    };
    for (const CASE& c : cases) {
        std::wstring args;
        for (const std::wstring& arg : c.args) args += L" " + arg;
        SCOPED_TRACE(testutil::Narrow(args));
        EXPECT_EQ(Parse(c.args), c.expected);
    }

    // "/NAME" is a folder where one of that name exists from the current drive's root.
    testutil::TempTree t(L"slash");
    const std::wstring root = t.root();
    std::wstring slashed = root.substr(2);   // "\...", without the drive
    for (wchar_t& ch : slashed)
        if (ch == L'\\') ch = L'/';
    wchar_t before[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, before), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
    if (std::iswalpha(slashed[1])) {
        EXPECT_EQ(Parse({slashed}), L"|" + FullPath(slashed));
    }
    EXPECT_NE(Parse({slashed + L"-not-there"}).find(L"is neither an option"), std::wstring::npos);
    SetCurrentDirectoryW(before);

    // Every option is in the usage text, and the help text holds each row's lines in table order.
    size_t at = 0;
    for (const OPTION_ROW& row : OptionTable()) {
        EXPECT_NE(std::wstring(UsageText()).find(row.name), std::wstring::npos) << testutil::Narrow(row.name);
        ASSERT_NE(row.help, nullptr);
        at = HelpText().find(row.help, at);
        EXPECT_NE(at, std::wstring::npos) << testutil::Narrow(row.name);
    }
}

TEST(CliJson, TheWriterSeparatesNestsAndEscapesNamesAndValues)
{
    CJsonWriter json;
    json.BeginObject()
        .String(L"k\"\\", L"v\x01\x1f\n\"\xDC00")
        .BeginArray(L"list")
        .String(L"a")
        .Number(2)
        .BeginObject()
        .EndObject()
        .BeginArray()
        .EndArray()
        .EndArray()
        .Number(L"held", std::optional<unsigned long long>())
        .Number(L"maximum", std::optional<unsigned long long>(7))
        .Null(L"overflow")
        .Bool(L"failed", false)
        .EndObject();
    EXPECT_EQ(json.Text(), L"{\"k\\\"\\\\\":\"v\\u0001\\u001f\\n\\\"\\udc00\",\"list\":[\"a\",2,{},[]],"
                           L"\"held\":null,\"maximum\":7,\"overflow\":null,\"failed\":false}");
}

// A name with control characters, a quote, a C1 character and a lone low
// surrogate (a command line carries them all): the dry run's document names it
// escaped, as valid UTF-8, and a JSON reader gets the very name back.
TEST(CliJson, TheDryRunEscapesEveryUnitANameMayHold)
{
    testutil::TempTree t(L"cli");
    const std::wstring folder = t.path(L"a\x01" L"b\x1f" L"c\"d\x85\xDC00" L"e");
    std::wstring arg = folder;
    arg.replace(arg.find(L'"'), 1, L"\\\"");
    const testutil::PROCESS_RESULT r = testutil::RunCli(L"--dry-run --json \"" + arg + L"\"");
    EXPECT_EQ(r.exitCode, 1u);   // no such folder
    EXPECT_NE(r.out.find("a\\u0001b\\u001fc\\\"d\\u0085\\udc00e\",\"status\":\"inaccessible\""), std::string::npos)
        << r.out;
    std::wstring name;
    ASSERT_TRUE(testutil::FirstJsonFolder(r.out, name)) << r.out;
    EXPECT_EQ(name, folder);
}
