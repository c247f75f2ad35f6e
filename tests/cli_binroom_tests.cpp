// The console program on a drive whose Recycle Bin a clean-up would overflow:
// the dry run's line and JSON, the clean's warning in its log and its JSON.
#include <gtest/gtest.h>

#include <optional>

#include "engine/undo/BinRoom.h"
#include "tests/TestUtil.h"

using testutil::PROCESS_RESULT;
using testutil::Quoted;
using testutil::RunCli;
using testutil::TempTree;

namespace {

constexpr unsigned long long kMiB = 1024ull * 1024;
constexpr unsigned long long kPlanned = 1024 * kMiB + 1;   // ipch\big.ipch (sparse) and Debug\main.obj

// The number or null after `"name":` in `json`, from `from` on; empty when absent.
std::string Field(const std::string& json, const std::string& name, size_t from = 0)
{
    const size_t at = json.find("\"" + name + "\":", from);
    if (at == std::string::npos) return {};
    const size_t start = at + name.size() + 3, end = json.find_first_of(",}", start);
    return json.substr(start, end - start);
}

bool IsNumber(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

} // namespace

// Z:'s real MaxCapacity, set for one case at a time. Where it is tight it
// takes the plan alone but not with what the bin holds (64 MiB sent there
// first, at least), 32 MiB below the sum, and far above what other tests'
// clean-ups meanwhile bring (Wine's SHQueryRecycleBinW counts a trashed folder
// as 0 bytes: the ipch folder, 1 GiB on paper, adds nothing to what it holds).
TEST(CliBinRoom, TheDryRunAndTheCleanSayWhenTheBinWouldOverflow)
{
    TempTree seed(L"cli-binroom");
    testutil::MakeSmallSolution(seed, L"", {});
    ASSERT_TRUE(testutil::MakeSparseFile(seed.path(L"App.sdf"), 64 * kMiB));
    ASSERT_EQ(RunCli(Quoted(seed.root())).exitCode, 0u);
    ASSERT_EQ(seed.untrashed({L"App.sdf"}), testutil::Paths{});

    enum class Maximum { Unset, Roomy, Tight };
    const struct CASE {
        const char* name;
        Maximum maximum;
        const char* overflow;
    } cases[] = {
        {"no maximum set", Maximum::Unset, "null"},
        {"a roomy bin", Maximum::Roomy, "false"},
        {"a bin that would overflow", Maximum::Tight, "true"},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree t(L"cli-binroom");
        testutil::MakeSmallSolution(t, L"", {L"Debug/main.obj"});
        t.dir(L"ipch");
        ASSERT_TRUE(testutil::MakeSparseFile(t.path(L"ipch/big.ipch"), kPlanned - 1));
        const std::optional<unsigned long long> held = BinHeldBytes(L"Z:\\");
        ASSERT_TRUE(held.has_value());
        ASSERT_GE(*held, 64 * kMiB);
        const DWORD megabytes = c.maximum == Maximum::Tight ? static_cast<DWORD>((*held + kPlanned) / kMiB - 32) : 4000000;
        ASSERT_GT(megabytes * kMiB, kPlanned);   // the plan alone would fit
        std::optional<testutil::VolumeBinCapacity> capacity;
        if (c.maximum != Maximum::Unset) {
            capacity.emplace(t.root(), megabytes);
            ASSERT_TRUE(capacity->valid());
        }
        const PROCESS_RESULT text = RunCli(L"--dry-run " + Quoted(t.root()));
        const PROCESS_RESULT json = RunCli(L"--dry-run --json " + Quoted(t.root()));
        const PROCESS_RESULT clean = RunCli(L"--json " + Quoted(t.root()));
        capacity.reset();
        const std::string maximum = c.maximum == Maximum::Unset ? "null" : std::to_string(megabytes * kMiB);

        // The dry run: a line only where the bin would overflow, and every drive in its JSON.
        EXPECT_EQ(text.exitCode, 0u) << text.out;
        const size_t line = text.out.find("WARNING: The clean-up would send more to the Recycle Bin of Z:\\ than it "
                                          "has room for, and Windows would empty older items out of it for good: "
                                          "it holds ");
        EXPECT_EQ(line != std::string::npos, c.maximum == Maximum::Tight) << text.out;
        if (line != std::string::npos) {
            const std::string said = text.out.substr(line, text.out.find('\n', line) - line);
            EXPECT_TRUE(said.ends_with(" bytes of at most " + maximum + " and would get " + std::to_string(kPlanned) +
                                       " more.\r")) << said;
        }
        EXPECT_EQ(json.exitCode, 0u) << json.out;
        const size_t bins = json.out.find(",\"bins\":[{\"drive\":\"Z:\\\\\",\"bin\":\"on\",\"planned\":" +
                                          std::to_string(kPlanned) + ",\"held\":");
        ASSERT_NE(bins, std::string::npos) << json.out;
        EXPECT_EQ(IsNumber(Field(json.out, "held", bins)), c.maximum != Maximum::Unset) << json.out;
        EXPECT_EQ(Field(json.out, "maximum", bins), maximum);
        EXPECT_EQ(Field(json.out, "overflow", bins), c.overflow);
        EXPECT_TRUE(json.out.ends_with("}],\"failed\":false}\r\n")) << json.out;

        // The clean: the same check, the warning in its log, and the folder cleaned all the same.
        EXPECT_EQ(clean.exitCode, 0u) << clean.out;
        const std::string folder = "{\"folder\":\"" + testutil::Narrow(t.root()) + "\"";
        std::string escaped;
        for (char ch : folder) escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
        const size_t checked = clean.out.find(",\"bins\":[" + escaped + ",\"drive\":\"Z:\\\\\",\"bin\":\"on\",\"planned\":" +
                                              std::to_string(kPlanned) + ",\"held\":");
        ASSERT_NE(checked, std::string::npos) << clean.out;
        EXPECT_EQ(Field(clean.out, "maximum", checked), maximum);
        EXPECT_EQ(Field(clean.out, "overflow", checked), c.overflow);
        const size_t warning = clean.out.find("\"WARNING: This clean-up sends more to the Recycle Bin than it has room "
                                              "for, and Windows will empty older items out of it for good: Z:\\\\ holds ");
        EXPECT_EQ(warning != std::string::npos, c.maximum == Maximum::Tight) << clean.out;
        if (warning != std::string::npos) {
            EXPECT_LT(warning, checked);   // in "log", which comes first
        }
        EXPECT_EQ(t.untrashed({L"ipch", L"Debug"}), testutil::Paths{});
    }
}
