// The console program under the tests' double of the shell's file operation:
// what only a real Windows shell could show, played for real.
#include <gtest/gtest.h>

#include "tests/TestUtil.h"

using testutil::Paths;
using testutil::TempTree;

// A success that names no item in the bin is a permanent delete: the run
// says so, the rest of that operation and everything after it stays, and the
// process sends nothing more to the shell's file operation.
TEST(FileOperationDeleter, APermanentDeleteStopsAllRecyclingAndIsSaid)
{
    if (!testutil::UnderDouble()) GTEST_SKIP() << "the shell's file operation takes no delete items here";
    TempTree t(L"nonew");
    testutil::MakeSmallSolution(t, L"S", {L"Debug/a.obj", L"b.log", L"c.log", L"d.log", L"e.log"});
    testutil::MakeSmallSolution(t, L"T", {L"x.log"});
    testutil::DoublePlay player({{L"nonew", t.path(L"S/c.log")}});
    const testutil::PROCESS_RESULT r = testutil::RunCli(testutil::Quoted(t.path(L"S")) + L" " + testutil::Quoted(t.path(L"T")));
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.out.find("deleted permanently"), std::string::npos) << r.out;
    EXPECT_FALSE(t.exists(L"S/c.log"));   // the double destroyed it, as the shell said
    EXPECT_FALSE(testutil::InTrash(t.path(L"S/c.log")));
    // Nothing else destroyed: every other item is in the bin or in its place,
    // and the folder after it is not touched.
    for (const wchar_t* rel : {L"S/Debug", L"S/b.log", L"S/d.log", L"S/e.log"})
        EXPECT_TRUE(t.exists(rel) || testutil::InTrash(t.path(rel))) << testutil::Narrow(rel);
    EXPECT_EQ(t.missing({L"T/x.log"}), Paths{});
    EXPECT_NE(r.out.find("FAILED: (536871175)"), std::string::npos) << r.out;
}
