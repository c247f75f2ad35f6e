#pragma once
// Real folders on disk for the tests: a fresh tree below the build tree's test
// folder (reached through Z:\ under Wine), the trash that Wine's Recycle Bin
// fills, and processes started by the tests.
#include <windows.h>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "support/NoCopy.h"
#include "support/UniqueHandle.h"

namespace testutil {

using Paths = std::vector<std::wstring>;

// A unique empty folder, removed with everything in it when the object goes.
class TempTree : private CNoCopy {
public:
    // `under`, when given, is the folder to make it in instead of this
    // program's test folder (TempFolderOnC(), say).
    explicit TempTree(const std::wstring& hint = L"t", const std::wstring& under = {});
    ~TempTree();

    const std::wstring& root() const { return m_root; }            // no trailing separator
    std::wstring path(const std::wstring& rel) const;             // root + "\" + rel ('/' accepted)

    // Creates a folder (with its parents) / a file with the given bytes.
    void dir(const std::wstring& rel) const;
    void file(const std::wstring& rel, const std::string& bytes = "x") const;
    // A file of one byte for each of `rels`, in that order.
    void files(std::initializer_list<std::wstring> rels) const;
    bool exists(const std::wstring& rel) const;

    // Those of `rels` that exist / do not / were recycled / were not. Tests
    // expect none, so that a failure names the paths at fault.
    Paths present(std::initializer_list<std::wstring> rels) const;
    Paths missing(std::initializer_list<std::wstring> rels) const;
    Paths trashed(std::initializer_list<std::wstring> rels) const;
    Paths untrashed(std::initializer_list<std::wstring> rels) const;

    // Relative paths of everything below the root, '\'-separated and sorted;
    // folders end in '\'. Does not follow reparse points.
    Paths listing() const;

private:
    std::wstring m_root;
};

// What MakeCppSolution writes besides App.sln and the project App\App.vcxproj
// with main.cpp and its .user file (13 bytes): main.obj (1000) and an App.tlog
// folder (50) in the project's `intermediates`, and in x64\Release the App.exe
// and App.pdb that stay and the App.ilk (700) that goes.
struct CPP_SOLUTION {
    const wchar_t* intermediates = L"x64/Debug";
    bool releaseObj = true;      // x64\Release\App.obj, for the release-file rule
    bool protectedObj = false;   // keep.obj (300) beside main.obj, named in App's do-not-delete file
    bool leftovers = false;      // App\Debug (a.obj 100, b.pdb 200) and App.suo (10)
};
// A small C++ solution in folder `rel` of the tree (its root when empty).
void MakeCppSolution(const TempTree& tree, const std::wstring& rel, const CPP_SOLUTION& parts = {});
// A solution folder with only App.sln, main.cpp and `more` (files a run cleans or keeps).
void MakeSmallSolution(const TempTree& tree, const std::wstring& rel, const Paths& more = {L"Debug/main.obj"});

// True when an item whose original path is `windowsPath` is recorded in the
// trash (its .trashinfo names it).
bool InTrash(const std::wstring& windowsPath);
// Those of `windowsPaths` that the trash records no entry for (one reading of
// the trash for all of them).
Paths NotInTrash(const Paths& windowsPaths);
// Number of trash entries whose original path lies at or below `windowsPath`.
size_t TrashEntriesUnder(const std::wstring& windowsPath);

// Removes a tree outright (no trash), not following reparse points.
void RemoveTree(const std::wstring& path);

// Windows path of the trash's files folder ($XDG_DATA_HOME/Trash/files), or
// empty when the environment names none.
std::wstring TrashFilesFolder();
// An environment variable of this process (Wine passes the Linux ones on).
std::wstring EnvVar(const wchar_t* name);

// Creates a directory symbolic link through the Linux side (Wine has no
// CreateSymbolicLinkW for Z:), pointing to `target`. Both are Windows paths on Z:.
bool MakeDirSymlink(const std::wstring& link, const std::wstring& target);
// Drive `letter` (lower case) mapped to `folder` through the prefix's drive
// links while the object lives, so that the folder is that drive's root.
class MappedDrive : private CNoCopy {
public:
    MappedDrive(wchar_t letter, const std::wstring& folder);
    ~MappedDrive();
    bool ok() const { return m_ok; }

private:
    std::wstring m_link;
    bool m_ok = false;
};
// A folder whose name holds a '*' (made through the Linux side): it is listed
// in its parent, but no Windows path lists its own contents (ERROR_INVALID_NAME).
bool MakeStarNamedFolder(const std::wstring& path);

// C:'s temporary folder (under Wine C:\users\NAME\AppData\Local\Temp, no
// trailing separator), for trees on another volume than the test folder's Z:.
std::wstring TempFolderOnC();

// Wine's drive Z: is the Linux root: Z:\x\y is /x/y; another drive's path is
// its place in the prefix ($WINEPREFIX/dosdevices/c:/x/y, as Wine's trash
// records it). Other paths pass unchanged.
std::wstring LinuxPath(std::wstring windowsPath);
std::wstring WindowsPath(std::wstring linuxPath);

// The lines of a log panel's or a console's text ("\r\n" between lines), top first.
Paths SplitLines(const std::wstring& text);

std::string Narrow(const std::wstring& s);   // UTF-8
std::wstring Widen(const std::string& s);
// `text` as a UTF-16 or UTF-32 file holds it, with its byte-order mark or without.
std::string EncodeUtf16(const std::wstring& text, bool bigEndian, bool mark = true);
std::string EncodeUtf32(const std::wstring& text, bool bigEndian, bool mark = true);

// Opens an existing file for reading and writing and holds it while the handle
// lives; with `share` 0 nothing else can open, move or delete it.
UniqueFile HoldFile(const std::wstring& path, DWORD share = 0);

// A process started by a test. One still running when the object goes is
// ended, so a failed assertion cannot leave it behind for later tests.
class ChildProcess : private CNoCopy {
public:
    // `stdHandles`, when given, hands the process inheritable standard handles;
    // `creationFlags` go to CreateProcessW (CREATE_NEW_CONSOLE, say).
    explicit ChildProcess(std::wstring commandLine, const STARTUPINFOW* stdHandles = nullptr, DWORD creationFlags = 0);
    ~ChildProcess();

    // A Linux program started through Wine has started without a process handle.
    bool started() const { return m_started; }
    DWORD id() const { return m_id; }
    HANDLE handle() const { return m_process.get(); }
    bool WaitExit(DWORD ms) const { return WaitForSingleObject(m_process.get(), ms) == WAIT_OBJECT_0; }

private:
    UniqueKernel m_process;
    UniqueKernel m_thread;
    DWORD m_id = 0;
    bool m_started = false;
};

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

#ifdef MW_CLI_EXE
// The console program of this build, run with `args`.
inline PROCESS_RESULT RunCli(const std::wstring& args, const std::function<void()>& whileRunning = {})
{
    return RunProcess(L"\"" + WindowsPath(Widen(MW_CLI_EXE)) + L"\" " + args, 60000, whileRunning);
}
#endif
inline std::wstring Quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// Runs a Linux program through Wine, which does not wait for it to end, then
// waits up to `timeoutMs` for `done` to hold (without `done`: a short pause).
bool RunLinux(const std::wstring& commandLine, const std::function<bool()>& done = {}, DWORD timeoutMs = 5000);

// Every entry below `root` with its attributes, size, write time and, for
// files, its bytes: two equal snapshots mean the tree did not change.
// `folderTimes` false leaves out the write times of folders, which the file
// system changes whenever an entry goes or comes back.
std::string SnapshotTree(const std::wstring& root, bool folderTimes = true);

// Makes the trash entry whose original path is `windowsPath` look deleted long
// ago (its .trashinfo's DeletionDate); false when there is none.
bool BackdateTrashEntry(const std::wstring& windowsPath);
// The record ($XDG_DATA_HOME/Trash/info/NAME.trashinfo, a Windows path) of
// the trash entry whose original path is `windowsPath`; empty when none.
std::wstring TrashInfoFileOf(const std::wstring& windowsPath);
// Where the trash keeps the object whose original path is `windowsPath` (a
// Windows path into $XDG_DATA_HOME/Trash/files); empty when it holds none.
std::wstring TrashedObjectOf(const std::wstring& windowsPath);
// The other way round, reading one record only: the original path (a Windows
// path) of the trash entry `entry` (a Windows path into Trash/files) as its
// .trashinfo names it; empty when the trash holds no record of it.
std::wstring TrashedOriginalOf(const std::wstring& entry);

// ---- The double of the shell's file operation (tests/double) -------------

// True when this program runs in the prefix whose shell file operation is the
// tests' double (MW_DELETER=double; wine-run.sh passes it on).
bool UnderDouble();

// One line of the double's play: what it does when it reaches `path`.
struct PLAY_LINE {
    std::wstring action;   // unrecyclable, deny, share, ignored, dontprocess, parts, nobin, nonew, cancel
    std::wstring path;     // a Windows path
};
// Writes the double's play file beside the test's trees and names it in
// MW_DOUBLE_PLAY for this process and the processes it starts; without it
// again when the object goes.
class DoublePlay : private CNoCopy {
public:
    explicit DoublePlay(const std::vector<PLAY_LINE>& lines);
    ~DoublePlay();

private:
    TempTree m_folder;
};

// What the double wrote down (see tests/double/FileOperationDouble.cpp).
struct DOUBLE_EVENT {
    std::wstring what;      // pre-delete, post-delete, pre-move or post-move
    DWORD value = 0;        // a pre- event's transfer flags, a post- event's HRESULT
    std::wstring path;      // the item
    std::wstring target;    // a move's target
    std::wstring created;   // a post- event's new item; empty for none
};
struct DOUBLE_LOG {
    std::vector<DWORD> flags;         // each SetOperationFlags
    size_t deleteItemCalls = 0;       // DeleteItem
    size_t moveItemCalls = 0;         // MoveItem
    std::vector<size_t> performed;    // operations queued, per PerformOperations
    std::vector<DOUBLE_EVENT> events;
    std::vector<HRESULT> aborted;     // why, per aborted PerformOperations
};
// Names a fresh record file in MW_DOUBLE_RECORD for this process and the
// processes it starts, until the object goes; Read() parses what is in it.
class DoubleRecord : private CNoCopy {
public:
    DoubleRecord();
    ~DoubleRecord();

    DOUBLE_LOG Read() const;

private:
    TempTree m_folder;
    std::wstring m_file;
};

// One value of the Recycle Bin's settings for the volume that holds `path`,
// for this user, as Windows keeps them (under HKCU\...\Explorer\BitBucket,
// Volume\{GUID}), set while the object lives and removed again when it goes. Test
// programs share a prefix's registry: one such setting at a time, across them.
class VolumeBinSetting : private CNoCopy {
public:
    VolumeBinSetting(const std::wstring& path, const wchar_t* value, DWORD data);
    ~VolumeBinSetting();

    bool valid() const { return !m_key.empty(); }   // the volume was found and the value set

private:
    UniqueKernel m_lock;
    std::wstring m_key;
    const wchar_t* m_value;
};

// The volume's bin switched off (NukeOnDelete = 1).
class VolumeBinOff : public VolumeBinSetting {
public:
    explicit VolumeBinOff(const std::wstring& path) : VolumeBinSetting(path, L"NukeOnDelete", 1) {}
};

// ---- JSON text -----------------------------------------------------------

// Reads the JSON string literal at the start of `json` (its quotes included)
// as RFC 8259 defines one: no raw character below U+0020, only the escapes it
// names, \u with four hex digits. The text it stands for goes to `text`, the
// length of the literal to `length`; false when it is not a valid literal.
bool ParseJsonString(std::wstring_view json, std::wstring& text, size_t* length = nullptr);
// The name that the first folder record of a JSON document gives ({"folder":
// "..."}); false when the document is not valid UTF-8 or holds no such record.
bool FirstJsonFolder(const std::string& json, std::wstring& name);

// ---- The Recycle Bin's room ----------------------------------------------

// The most the volume's bin takes, in megabytes (MaxCapacity).
class VolumeBinCapacity : public VolumeBinSetting {
public:
    VolumeBinCapacity(const std::wstring& path, DWORD megabytes) : VolumeBinSetting(path, L"MaxCapacity", megabytes) {}
};

// A file of `bytes` bytes that takes no room on disk (its end set without
// writing: the file system keeps no blocks for the zeros). False on failure.
bool MakeSparseFile(const std::wstring& path, unsigned long long bytes);
// A shell script run on the Linux side in `folder` (a Windows path on Z:),
// with git's identity and configuration of its own: Wine does not wait for
// it, so this waits up to `timeoutMs` for it to end. `output` holds what it
// wrote to standard output and error.
struct SHELL_RESULT {
    bool finished = false;
    int exitCode = -1;
    std::string output;
};
SHELL_RESULT RunShell(const std::wstring& folder, const std::string& script, DWORD timeoutMs = 120000);

// A whole file's bytes (empty when it cannot be read), and a file written with `bytes`.
std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);

} // namespace testutil
