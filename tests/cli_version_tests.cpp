// The console program's version option against the version resource that the
// build put into the same program.
#include <gtest/gtest.h>

#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/Recycler.h"
#include "support/ComInit.h"
#include "tests/TestUtil.h"

#include <cstring>

namespace {

std::wstring CliExe() { return testutil::WindowsPath(testutil::Widen(MW_CLI_EXE)); }

// "a.b.c.d" from the fixed part of a program's version resource; empty when it has none.
std::string ResourceVersion(const std::wstring& exe)
{
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    std::string version;
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    const BYTE* data = res ? static_cast<const BYTE*>(::LockResource(::LoadResource(module, res))) : nullptr;
    DWORD size = res ? ::SizeofResource(module, res) : 0;
    // The fixed part follows the block's header on a 32-bit boundary; its signature finds it.
    for (DWORD at = 0; data && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, data + at, sizeof(info));
        if (info.dwSignature != VS_FFI_SIGNATURE) continue;
        version = std::to_string(HIWORD(info.dwFileVersionMS)) + "." + std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
                  std::to_string(HIWORD(info.dwFileVersionLS)) + "." + std::to_string(LOWORD(info.dwFileVersionLS));
        break;
    }
    ::FreeLibrary(module);
    return version;
}

} // namespace

TEST(CliVersion, PrintsTheVersionOfItsOwnVersionResourceAndTheDeleter)
{
    std::string fromResource = ResourceVersion(CliExe());
    ASSERT_FALSE(fromResource.empty()) << "no version resource in " << testutil::Narrow(CliExe());

    // The deleter this system offers an apartment-threaded thread, as the console's main thread is.
    std::wstring deleter;
    {
        ScopedComInit com;
        deleter = ActiveDeleterName();
    }

    testutil::PROCESS_RESULT version = testutil::RunProcess(L"\"" + CliExe() + L"\" --version");
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.out, "mopwright-cli " + fromResource + "\r\ndeletes through: " + testutil::Narrow(deleter) + "\r\n");
    EXPECT_EQ(version.err, "");

    testutil::PROCESS_RESULT help = testutil::RunProcess(L"\"" + CliExe() + L"\" --help");
    EXPECT_NE(help.out.find("--version"), std::string::npos);
}
