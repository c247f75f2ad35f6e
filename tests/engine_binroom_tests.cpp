// The Recycle Bin's room for a clean-up: the decision, the user's settings in
// the real registry, and a real run that warns before it deletes.
#include <gtest/gtest.h>

#include <optional>

#include "engine/recycling/VolumeBin.h"
#include "engine/undo/BinRoom.h"
#include "support/UniqueHandle.h"
#include "tests/FakeHost.h"
#include "tests/TestUtil.h"

using testutil::TempTree;

namespace {

constexpr unsigned long long kMiB = 1024ull * 1024;
constexpr unsigned long long kGiB = 1024 * kMiB;
constexpr unsigned long long kNone = ~0ull;   // in the tables: not known

std::optional<unsigned long long> Known(unsigned long long n)
{
    return n == kNone ? std::nullopt : std::optional<unsigned long long>(n);
}

} // namespace

void PrintTo(BinOverflow overflow, std::ostream* out)
{
    *out << (overflow == BinOverflow::Fits ? "fits" : overflow == BinOverflow::Overflows ? "overflows" : "unknown");
}

TEST(BinRoom, OlderItemsArePushedOutWhenHeldAndPlannedExceedTheMaximum)
{
    struct CASE {
        const char* name;
        unsigned long long planned, held, maximum;
        BinOverflow expected;
    } cases[] = {
        {"room to spare", 10 * kMiB, 100 * kMiB, 1 * kGiB, BinOverflow::Fits},
        {"exactly full afterwards", 24 * kMiB, 1000 * kMiB, 1024 * kMiB, BinOverflow::Fits},
        {"one byte more", 24 * kMiB + 1, 1000 * kMiB, 1024 * kMiB, BinOverflow::Overflows},
        {"an empty bin too small for the clean-up", 2 * kGiB, 0, 1 * kGiB, BinOverflow::Overflows},
        {"nothing planned, a full bin", 0, 5 * kGiB, 1 * kGiB, BinOverflow::Fits},
        {"a bin already over its maximum", 1, 2 * kGiB, 1 * kGiB, BinOverflow::Overflows},
        {"a maximum of nothing", 1, 0, 0, BinOverflow::Overflows},
        {"no maximum", 10 * kGiB, 10 * kGiB, kNone, BinOverflow::Unknown},
        {"held unknown, the plan fits alone", 1 * kMiB, kNone, 1 * kGiB, BinOverflow::Unknown},
        {"held unknown, the plan alone is too large", 2 * kGiB, kNone, 1 * kGiB, BinOverflow::Overflows},
        {"sums past 64 bits", ~0ull - 5, ~0ull - 5, ~0ull - 1, BinOverflow::Overflows},
        {"the largest bin, full to the byte", ~0ull - 10, 9, ~0ull - 1, BinOverflow::Fits},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideBinOverflow(c.planned, Known(c.held), Known(c.maximum)), c.expected);
    }
}

// The settings as Windows keeps them, in a key of the tests' own under HKCU:
// a volume's MaxCapacity, or the BitBucket key's own with UseGlobalSettings = 1.
TEST(BinRoom, TheMaximumIsTheUsersSettingInMegabytes)
{
    const std::wstring guid = L"{00000000-0000-0000-0000-0000000000aa}";
    const std::wstring base = L"Software\\www.mopwright.example\\tests\\BitBucket-" + std::to_wstring(GetCurrentProcessId());
    struct CASE {
        const char* name;
        DWORD global, useGlobal, volume;   // kUnset: no such value
        unsigned long long expected;
    };
    constexpr DWORD kUnset = 0xFFFFFFFF;
    const CASE cases[] = {
        {"the volume's own", kUnset, kUnset, 2048, 2048 * kMiB},
        {"the volume's own, global settings off", 100, 0, 300, 300 * kMiB},
        {"one setting for all drives", 100, 1, 300, 100 * kMiB},
        {"one setting for all drives, none set", kUnset, 1, 300, kNone},
        {"nothing set", kUnset, kUnset, kUnset, kNone},
        {"past four gigabytes", kUnset, kUnset, 70000, 70000 * kMiB},
        {"zero", kUnset, kUnset, 0, 0},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                  nullptr),
                  ERROR_SUCCESS);
        auto set = [&](const std::wstring& subkey, const wchar_t* name, DWORD value) {
            if (value == kUnset) return;
            ASSERT_EQ(RegSetKeyValueW(key.get(), subkey.c_str(), name, REG_DWORD, &value, sizeof(value)), ERROR_SUCCESS);
        };
        set(L"", L"MaxCapacity", c.global);
        set(L"", L"UseGlobalSettings", c.useGlobal);
        set(L"Volume\\" + guid, L"MaxCapacity", c.volume);
        EXPECT_EQ(BinMaximumBytes(key.get(), guid), Known(c.expected));
        EXPECT_EQ(BinMaximumBytes(key.get(), L""), c.useGlobal == 1 ? Known(c.expected) : std::nullopt);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
}

namespace {

// A host that keeps the run's lines and deletion starts in one sequence, and
// every bin check it is told of.
class CBinRoomHost : public testutil::FakeHost {
public:
    std::vector<std::wstring> order;   // "log LINE" and "deletion" (a folder's first progress report)
    std::vector<std::pair<std::wstring, std::vector<BIN_ROOM>>> checks;

    void Log(const std::wstring& line) override
    {
        order.push_back(L"log " + line);
        FakeHost::Log(line);
    }
    void Progress(UINT done, UINT all, unsigned long long bytes) override
    {
        if (done == 0) order.push_back(L"deletion");
        FakeHost::Progress(done, all, bytes);
    }
    void BinRoomChecked(const std::wstring& folder, const std::vector<BIN_ROOM>& rooms) override
    {
        checks.emplace_back(folder, rooms);
    }
};

} // namespace

// Z:'s real setting, set for one run at a time. Wine's SHQueryRecycleBinW
// answers for the whole trash, whichever drive is asked, and counts a file in
// it by its size but a folder as 0 bytes: the planned ipch folders (1 GiB each
// on paper, sparse on disk) leave what the bin holds as it was. A tight
// maximum takes either folder's plan alone, but not with what the bin holds
// (64 MiB sent there first, at least): it lies 32 MiB below the sum, and far
// above what the small clean-ups of other tests running meanwhile bring.
TEST(BinRoom, ARunWarnsOnceBeforeItDeletesAndChangesNothingElse)
{
    TempTree seed(L"binroom");
    testutil::MakeSmallSolution(seed, L"", {});
    ASSERT_TRUE(testutil::MakeSparseFile(seed.path(L"App.sdf"), 64 * kMiB));
    testutil::FakeHost().Run({seed.root()});
    ASSERT_EQ(seed.untrashed({L"App.sdf"}), testutil::Paths{});

    enum class Maximum { Unset, Roomy, Tight };
    const struct CASE {
        const char* name;
        Maximum maximum;
        BinOverflow expected;
    } cases[] = {
        {"no maximum set", Maximum::Unset, BinOverflow::Unknown},
        {"a roomy bin", Maximum::Roomy, BinOverflow::Fits},
        {"a bin that would overflow", Maximum::Tight, BinOverflow::Overflows},
    };
    for (const CASE& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree t(L"binroom");
        for (const wchar_t* name : {L"A", L"B"}) {
            testutil::MakeSmallSolution(t, name, {L"Debug/main.obj"});
            t.dir(std::wstring(name) + L"/ipch");
            ASSERT_TRUE(testutil::MakeSparseFile(t.path(std::wstring(name) + L"/ipch/big.ipch"), kGiB));
        }
        const std::wstring drive = VolumeRoot(t.root());
        ASSERT_EQ(drive, L"Z:\\");
        const std::optional<unsigned long long> heldBefore = BinHeldBytes(drive);
        ASSERT_TRUE(heldBefore.has_value());   // Wine answers S_OK
        ASSERT_GE(*heldBefore, 64 * kMiB);
        const DWORD megabytes = c.maximum == Maximum::Tight   ? static_cast<DWORD>((*heldBefore + kGiB) / kMiB - 32)
                                : c.maximum == Maximum::Roomy ? 4000000
                                                              : 0;
        if (c.maximum == Maximum::Tight) {
            ASSERT_GT(megabytes * kMiB, kGiB + 1);   // the plan alone would fit
        }
        std::optional<testutil::VolumeBinCapacity> capacity;
        if (c.maximum != Maximum::Unset) {
            capacity.emplace(t.root(), megabytes);
            ASSERT_TRUE(capacity->valid());
        }
        CBinRoomHost host;
        host.Run({t.path(L"A"), t.path(L"B")});
        capacity.reset();

        ASSERT_EQ(host.checks.size(), 2u);
        for (size_t k = 0; k < 2; ++k) {
            EXPECT_EQ(host.checks[k].first, t.path(k ? L"B" : L"A"));
            ASSERT_EQ(host.checks[k].second.size(), 1u);
            const BIN_ROOM& room = host.checks[k].second[0];
            EXPECT_EQ(room.drive, drive);
            EXPECT_EQ(room.state, BinState::On);
            EXPECT_EQ(room.planned, kGiB + 1);   // the ipch folder and main.obj's one byte
            EXPECT_EQ(room.overflow, c.expected);
            EXPECT_EQ(room.maximum, c.maximum == Maximum::Unset ? std::nullopt : Known(megabytes * kMiB));
            EXPECT_EQ(room.held.has_value(), c.maximum != Maximum::Unset);
        }
        // One line for the run, after the first folder's name and before its deletion.
        std::vector<size_t> warnings;
        for (size_t i = 0; i < host.order.size(); ++i)
            if (host.order[i].starts_with(L"log WARNING: ")) warnings.push_back(i);
        if (c.expected != BinOverflow::Overflows) {
            EXPECT_TRUE(warnings.empty()) << testutil::Narrow(host.logText);
        } else {
            ASSERT_EQ(warnings.size(), 1u) << testutil::Narrow(host.logText);
            const size_t at = warnings[0];
            const BIN_ROOM& room = host.checks[0].second[0];
            EXPECT_EQ(host.order[at],
                      L"log WARNING: This clean-up sends more to the Recycle Bin than it has room for, and Windows "
                      L"will empty older items out of it for good: Z:\\ holds " + std::to_wstring(*room.held) +
                          L" bytes of at most " + std::to_wstring(megabytes * kMiB) + L" and gets " +
                          std::to_wstring(kGiB + 1) + L" more.");
            ASSERT_GT(at, 0u);
            EXPECT_EQ(host.order[at - 1], L"log " + t.path(L"A"));
            ASSERT_LT(at + 1, host.order.size());
            EXPECT_EQ(host.order[at + 1], L"deletion");
        }
        // A warning only: both folders are cleaned all the same.
        EXPECT_TRUE(host.EndedWithoutErrors()) << testutil::Narrow(host.logText);
        EXPECT_EQ(t.untrashed({L"A/ipch", L"B/ipch", L"A/Debug", L"B/Debug"}), testutil::Paths{});
    }
}
