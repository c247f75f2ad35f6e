#include "cli/SelfCheck.h"

#include <windows.h>
#include <map>
#include <vector>

#include "cli/ConsoleHost.h"
#include "engine/undo/RemovalJournal.h"
#include "engine/running/CleanupRun.h"
#include "engine/deciding/Decision.h"
#include "engine/recycling/DeleterChoice.h"
#include "engine/recycling/Recycler.h"
#include "engine/recycling/VolumeBin.h"
#include "engine/undo/Restore.h"
#include "support/DirListing.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/TextFile.h"
#include "support/UniqueHandle.h"

namespace {

// The test solution: what a build leaves (removed), what a user writes (kept),
// and a file a do-not-delete list keeps inside a folder that goes otherwise.
const wchar_t* const kTreeFiles[][2] = {
    {L"App.sln", L"Microsoft Visual Studio Solution File\r\n"},
    {L"App\\App.vcxproj", L"<Project/>\r\n"},
    {L"App\\main.cpp", L"int main() { return 0; }\r\n"},
    {L"App\\App.vcxproj.user", L"<Project/>\r\n"},
    {L"App\\x64\\Debug\\main.obj", L"object"},
    {L"App\\x64\\Debug\\App.tlog\\CL.read.1.tlog", L"tlog"},
    {L"App\\obj\\gone.obj", L"object"},
    {L"App\\obj\\keep.txt", L"kept by the list"},
    {L"App\\build.log", L"log"},
    {L"Mopwright (do not delete).txt", L"App\\obj\\keep.txt\r\n"},
};

// The Windows version as the system itself tells it, whatever the manifest says.
std::wstring WindowsVersion()
{
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto query = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!query || query(&info) != 0) return L"unknown";
    return FormatText(L"%lu.%lu (build %lu)", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

bool WriteFileText(const std::wstring& path, const std::wstring& text)
{
    ::CreateDirectoryW(GetParentPath(GetParentPath(path)).c_str(), nullptr);
    ::CreateDirectoryW(GetParentPath(path).c_str(), nullptr);
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes(text.begin(), text.end());   // ASCII
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool MakeFolders(const std::wstring& path)
{
    if (::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return true;
    const std::wstring parent = GetParentPath(path);
    return !parent.empty() && parent.size() < path.size() && MakeFolders(parent) && ::CreateDirectoryW(path.c_str(), nullptr);
}

// The bytes of a small file; a file that cannot be read reads as a mark that matches nothing.
std::string FileBytes(const std::wstring& path)
{
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes(1 << 16, '\0');
    DWORD read = 0;
    if (!file || !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return "\x01unreadable";
    bytes.resize(read);
    return bytes;
}

// Every entry below `root` (relative path, folders ending in '\') with the
// bytes of each file: equal pictures mean the tree is as it was.
bool Picture(const std::wstring& root, const std::wstring& relative, std::map<std::wstring, std::string>& picture)
{
    const std::wstring folder = relative.empty() ? root : JoinPath(root, relative);
    bool complete = true;
    const LISTING_END end = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& e) {
        const std::wstring name = relative.empty() ? std::wstring(e.cFileName) : JoinPath(relative, e.cFileName);
        if (DirListing::IsDirectory(e)) {
            picture[name + L"\\"] = std::to_string(e.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE);
            if (!DirListing::IsLink(e)) complete = Picture(root, name, picture) && complete;
            return;
        }
        picture[name] = FileBytes(JoinPath(root, name));
    });
    return complete && end.Complete();
}

// Removes the tree the check made, outright: it was never the user's.
void RemoveMade(const std::wstring& path)
{
    (void)ForEachEntry(path, [&](const WIN32_FIND_DATAW& e) {
        const std::wstring child = JoinPath(path, e.cFileName);
        if (DirListing::IsDirectory(e) && !DirListing::IsLink(e)) return RemoveMade(child);
        if (DirListing::IsDirectory(e)) ::RemoveDirectoryW(child.c_str());
        else ::DeleteFileW(child.c_str());
    });
    ::RemoveDirectoryW(path.c_str());
}

// A host that keeps the clean-up's lines and says nothing until asked.
class CQuietHost final : public CConsoleHost {
public:
    CQuietHost() : CConsoleHost(Output::Json) {}
};

struct CHECK {
    std::wstring solution;
    std::vector<std::wstring> said;
    std::wstring failure;   // the first step that failed
    bool Fail(const std::wstring& what)
    {
        if (failure.empty()) failure = what;
        return false;
    }
};

bool Clean(CHECK& check, size_t& sent)
{
    CQuietHost host;
    std::vector<std::wstring> queue{check.solution};
    RunCleanup(host, queue, CLEANUP_OPTIONS{});
    for (const std::wstring& line : host.Lines())
        if (!TrimBlanks(line).empty()) check.said.push_back(L"  " + line);
    for (const FOLDER_RESULT& folder : host.Folders())
        for (const FAILED_ITEM& item : folder.failures)
            check.said.push_back(FormatText(L"  FAILED: (%d) \"%ls\". %ls", static_cast<int>(item.error),
                                            item.path.c_str(), GetErrorText(item.error).c_str()));
    if (!host.Succeeded()) return check.Fail(L"the clean-up of the test solution failed");

    CLEANUP_JOURNAL journal;
    if (!ReadCleanupJournal(check.solution, journal)) return check.Fail(L"the clean-up wrote no journal");
    sent = 0;
    for (const JOURNAL_ENTRY& e : journal.entries) {
        if (e.kind == JournalKind::EmptyFolder) continue;
        ++sent;
        if (LookAt(e.path) != ObjectState::Missing) return check.Fail(L"\"" + e.path + L"\" is still in its place");
        // Where the shell named the item it made in the bin, that item is there.
        if (!e.binItem.empty() && ::GetFileAttributesW(LongPathForm(e.binItem).c_str()) == INVALID_FILE_ATTRIBUTES)
            return check.Fail(L"\"" + e.path + L"\" is not in the Recycle Bin where the shell said: \"" + e.binItem + L"\"");
    }
    if (sent == 0) return check.Fail(L"the clean-up sent nothing to the Recycle Bin");
    // The bin, looked through as a restore does, holds every item.
    const std::vector<FOLDER_RESTORE> seen = RestoreCleanups({check.solution}, RestoreMode::DryRun);
    for (const RESTORE_FAILURE& f : seen.front().failures)
        return check.Fail(FormatText(L"(%d) \"%ls\" is not in the Recycle Bin. %ls", static_cast<int>(f.error),
                                     f.path.c_str(), GetErrorText(f.error).c_str()));
    check.said.push_back(FormatText(L"Cleaned: %zu items went to the Recycle Bin, and it holds every one.", sent));
    return true;
}

bool Restore(CHECK& check, const std::map<std::wstring, std::string>& before)
{
    const std::vector<FOLDER_RESTORE> restored = RestoreCleanups({check.solution}, RestoreMode::Restore);
    for (const RESTORE_FAILURE& f : restored.front().failures)
        return check.Fail(FormatText(L"(%d) \"%ls\" did not come back. %ls", static_cast<int>(f.error), f.path.c_str(),
                                     GetErrorText(f.error).c_str()));
    std::map<std::wstring, std::string> after;
    if (!Picture(check.solution, L"", after)) return check.Fail(L"the restored tree cannot be listed");
    for (const auto& [name, bytes] : before) {
        const auto it = after.find(name);
        if (it == after.end()) return check.Fail(L"\"" + name + L"\" is missing after the restore");
        if (it->second != bytes) return check.Fail(L"\"" + name + L"\" differs after the restore");
    }
    for (const auto& [name, bytes] : after)
        if (!before.count(name)) return check.Fail(L"\"" + name + L"\" is there after the restore, not before");
    check.said.push_back(FormatText(L"Restored: %zu items, and the tree is as it was.", restored.front().restored.size()));
    return true;
}

bool Run(CHECK& check, const std::wstring& folder)
{
    if (!FolderExists(folder)) return check.Fail(L"\"" + folder + L"\" is not a folder");
    // A new folder of the check's own, on FOLDER's drive.
    for (unsigned n = ::GetTickCount() % 100000;; ++n) {
        check.solution = JoinPath(folder, FormatText(L"Mopwright check %u", n));
        if (::CreateDirectoryW(check.solution.c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            const DWORD error = ::GetLastError();
            check.solution.clear();
            return check.Fail(FormatText(L"(%d) cannot make a folder in \"%ls\". %ls", static_cast<int>(error),
                                         folder.c_str(), GetErrorText(error).c_str()));
        }
    }
    for (const auto& [relative, text] : kTreeFiles) {
        const std::wstring path = JoinPath(check.solution, relative);
        if (!MakeFolders(GetParentPath(path)) || !WriteFileText(path, text))
            return check.Fail(L"cannot write \"" + path + L"\"");
    }
    check.said.push_back(L"Made a test solution in \"" + check.solution + L"\".");
    std::map<std::wstring, std::string> before;
    if (!Picture(check.solution, L"", before)) return check.Fail(L"the test solution cannot be listed");
    size_t sent = 0;
    return Clean(check, sent) && Restore(check, before);
}

} // namespace

int RunSelfCheck(const std::wstring& folder)
{
    const std::wstring root = VolumeRoot(folder);
    WriteOut(stdout, L"Windows " + WindowsVersion() + L"\n");
    WriteOut(stdout, std::wstring(L"deletes through: ") + ActiveDeleterName() + L"\n");
    WriteOut(stdout, L"Recycle Bin on \"" + root + L"\": " + BinStateName(VolumeBinState(folder)) + L"\n");
    CHECK check;
    const bool passed = Run(check, folder);
    if (!check.solution.empty()) {
        RemoveMade(check.solution);
        const std::wstring journal = CleanupJournalPath(check.solution);
        if (!journal.empty()) ::DeleteFileW(journal.c_str());
        check.said.push_back(LookAt(check.solution) == ObjectState::Missing
                                 ? L"Removed the test solution."
                                 : L"The test solution could not be removed completely: \"" + check.solution + L"\"");
    }
    check.said.push_back(passed ? L"check passed" : L"check failed: " + check.failure);
    for (const std::wstring& line : check.said) WriteOut(stdout, line + L"\n");
    return passed ? 0 : 1;
}
