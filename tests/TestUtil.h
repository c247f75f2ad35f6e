#pragma once
// Real folders on disk for the tests: a fresh tree below the build tree's test
// folder (reached through Z:\ under Wine), and the trash that Wine's Recycle
// Bin fills.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace testutil {

// A unique empty folder, removed with everything in it when the object goes.
class TempTree {
public:
    explicit TempTree(const std::wstring& hint = L"t");
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::wstring& root() const { return m_root; }            // no trailing separator
    std::wstring path(const std::wstring& rel) const;             // root + "\" + rel ('/' accepted)

    // Creates a folder (with its parents) / a file with the given bytes.
    void dir(const std::wstring& rel) const;
    void file(const std::wstring& rel, const std::string& bytes = "x") const;
    bool exists(const std::wstring& rel) const;
    bool isDir(const std::wstring& rel) const;

    // Relative paths of everything below the root, '\'-separated and sorted;
    // folders end in '\'. Does not follow reparse points.
    std::vector<std::wstring> listing() const;

private:
    std::wstring m_root;
};

// Windows path of the trash's files folder ($XDG_DATA_HOME/Trash/files), or
// empty when the environment names none.
std::wstring TrashFilesFolder();
// Names currently in the trash's files folder.
std::vector<std::wstring> TrashNames();
// True when an item whose original path is `windowsPath` is recorded in the
// trash (its .trashinfo names it).
bool InTrash(const std::wstring& windowsPath);

// Number of trash entries whose original path lies at or below `windowsPath`.
size_t TrashEntriesUnder(const std::wstring& windowsPath);

// Removes a tree outright (no trash), not following reparse points.
void RemoveTree(const std::wstring& path);

// Creates a directory symbolic link through the Linux side (Wine has no
// CreateSymbolicLinkW for Z:), pointing to `target`. Both are Windows paths on Z:.
bool MakeDirSymlink(const std::wstring& link, const std::wstring& target);

// An environment variable of this process (Wine passes the Linux ones on).
std::wstring EnvVar(const wchar_t* name);

// The lines of a log panel's text ("\r\n" between lines), top first.
std::vector<std::wstring> SplitLines(const std::wstring& text);

std::string Narrow(const std::wstring& s);
std::wstring Widen(const std::string& s);

} // namespace testutil

namespace testutil {

// Runs a program to its end (or the timeout) with standard output and error
// captured.
struct PROCESS_RESULT {
    DWORD exitCode = 0xFFFFFFFF;
    bool timedOut = false;
    std::string out;
    std::string err;
};
// `whileRunning`, when given, is called once the process has started.
PROCESS_RESULT RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000,
                          const std::function<void()>& whileRunning = {});

// Runs a Linux program through Wine, which does not wait for it to end, then
// waits up to `timeoutMs` for `done` to hold (without `done`: a short pause).
bool RunLinux(std::wstring commandLine, const std::function<bool()>& done = {}, DWORD timeoutMs = 5000);
// Linux path of a Z: path (Z:\x\y -> /x/y).
std::wstring LinuxPath(std::wstring windowsPath);

// Makes a folder at `path` whose name holds a '*' (through the Linux side): it
// is listed in its parent, but no Windows path lists its own contents (123).
bool MakeUnlistableFolder(const std::wstring& path);
void RemoveUnlistableFolder(const std::wstring& path);

// Windows path of a Linux path (/x/y -> Z:\x\y); other paths unchanged.
std::wstring UnixToWindowsPath(const std::wstring& path);

// Every entry below `root` with its attributes, size, write time and, for
// files, its bytes: two equal snapshots mean the tree did not change.
std::string SnapshotTree(const std::wstring& root);

} // namespace testutil
