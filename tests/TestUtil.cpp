#include "tests/TestUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>

#include "engine/planning/KeepListReader.h"
#include "support/DirListing.h"
#include "support/PathUtil.h"

namespace testutil {

std::string Narrow(const std::wstring& s)
{
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& s)
{
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), out.data(), n);
    return out;
}

namespace {
std::string EncodeUnits(const std::wstring& text, size_t unitBytes, bool bigEndian, bool mark)
{
    std::string out;
    for (wchar_t c : mark ? L"\uFEFF" + text : text) {
        std::string unit(unitBytes, '\0');
        unit[0] = static_cast<char>(c & 0xFF);
        unit[1] = static_cast<char>(c >> 8);
        if (bigEndian) std::reverse(unit.begin(), unit.end());
        out += unit;
    }
    return out;
}
} // namespace

std::string EncodeUtf16(const std::wstring& text, bool bigEndian, bool mark) { return EncodeUnits(text, 2, bigEndian, mark); }
std::string EncodeUtf32(const std::wstring& text, bool bigEndian, bool mark) { return EncodeUnits(text, 4, bigEndian, mark); }

Paths SplitLines(const std::wstring& text)
{
    Paths lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
}

std::wstring LinuxPath(std::wstring p)
{
    std::wstring drive;
    if (p.size() >= 2 && p[1] == L':') {
        if (towlower(p[0]) != L'z') drive = EnvVar(L"WINEPREFIX") + L"/dosdevices/" + wchar_t(towlower(p[0])) + L":";
        p = p.substr(2);
    }
    std::replace(p.begin(), p.end(), L'\\', L'/');
    return drive + p;
}

std::wstring WindowsPath(std::wstring p)
{
    if (p.empty() || p[0] != L'/') return p;
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return L"Z:" + p;
}

namespace {
std::wstring Env(const wchar_t* name)
{
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buf, n) : std::wstring();
}

std::wstring TestRoot()
{
    std::wstring root = WindowsPath(Env(L"MW_TEST_ROOT"));
    if (root.empty()) {
        wchar_t tmp[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, tmp);
        root.assign(tmp, n);
        if (!root.empty() && root.back() == L'\\') root.pop_back();
    }
    // Each test program keeps its trees in a folder of its own, beside the
    // others': the folder browser that the window tests drive walks down to
    // its start folder and never lists trees (links among them) that another
    // program is making or removing.
    std::wstring name = ModulePath(nullptr);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    name = name.substr(0, name.find_last_of(L'.'));
    if (!name.empty()) root += L"-" + name;
    CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

// The \\?\ form (LongPathForm) reaches names that end in a dot or blank, and long paths.
void MakeDirs(const std::wstring& path)
{
    const std::wstring target = LongPathForm(path);
    if (CreateDirectoryW(target.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return;
    size_t pos = path.find_last_of(L'\\');
    if (pos != std::wstring::npos && pos > 2) {
        MakeDirs(path.substr(0, pos));
        CreateDirectoryW(target.c_str(), nullptr);
    }
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(LongPathForm(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The entries of a folder, "." and ".." left out; none when it cannot be listed.
std::vector<WIN32_FIND_DATAW> Entries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    (void)ForEachEntry(folder + L"\\", [&](const WIN32_FIND_DATAW& e) { entries.push_back(e); });
    return entries;
}

void ListInto(const std::wstring& folder, const std::wstring& prefix, Paths& out)
{
    for (const WIN32_FIND_DATAW& e : Entries(folder)) {
        std::wstring rel = prefix + e.cFileName;
        if (!DirListing::IsDirectory(e)) {
            out.push_back(rel);
            continue;
        }
        out.push_back(rel + L"\\");
        if (!DirListing::IsLink(e)) ListInto(folder + L"\\" + e.cFileName, rel + L"\\", out);
    }
}

Paths Select(std::initializer_list<std::wstring> rels, const std::function<bool(const std::wstring&)>& keep)
{
    Paths out;
    std::copy_if(rels.begin(), rels.end(), std::back_inserter(out), keep);
    return out;
}

std::string ReadAll(const std::wstring& p)
{
    UniqueFile f(CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return {};
    std::string s(64 * 1024, '\0');
    DWORD got = 0;
    ReadFile(f.get(), s.data(), (DWORD)s.size(), &got, nullptr);
    s.resize(got);
    return s;
}
} // namespace

TempTree::TempTree(const std::wstring& hint, const std::wstring& under)
{
    static std::atomic<unsigned> counter{0};
    std::wstring base = under.empty() ? TestRoot() : under;
    for (;;) {
        m_root = base + L"\\" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(m_root.c_str(), nullptr)) break;
    }
}

TempTree::~TempTree()
{
    RemoveTree(m_root);
    // Folders no Windows path reaches (a trailing dot, a '*') keep the root alive.
    if (Exists(m_root) && m_root.rfind(L"Z:\\", 0) == 0)
        RunLinux(L"/bin/rm -rf \"" + LinuxPath(m_root) + L"\"", [&] { return !Exists(m_root); });
}

std::wstring TempTree::path(const std::wstring& rel) const
{
    std::wstring p = rel.empty() ? m_root : m_root + L"\\" + rel;
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return p;
}

void TempTree::dir(const std::wstring& rel) const { MakeDirs(path(rel)); }

void TempTree::files(std::initializer_list<std::wstring> rels) const
{
    for (const std::wstring& rel : rels) file(rel);
}

void TempTree::file(const std::wstring& rel, const std::string& bytes) const
{
    std::wstring p = path(rel);
    MakeDirs(p.substr(0, p.find_last_of(L'\\')));
    UniqueFile f(CreateFileW(LongPathForm(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    ASSERT_TRUE(f.valid()) << Narrow(p);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

bool TempTree::exists(const std::wstring& rel) const { return Exists(path(rel)); }

Paths TempTree::present(std::initializer_list<std::wstring> rels) const
{
    return Select(rels, [&](const std::wstring& r) { return exists(r); });
}

Paths TempTree::missing(std::initializer_list<std::wstring> rels) const
{
    return Select(rels, [&](const std::wstring& r) { return !exists(r); });
}

Paths TempTree::listing() const
{
    Paths out;
    ListInto(m_root, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

void MakeCppSolution(const TempTree& tree, const std::wstring& rel, const CPP_SOLUTION& parts)
{
    const std::wstring p = rel.empty() ? L"" : rel + L"/";
    const std::wstring objects = p + L"App/" + parts.intermediates + L"/";
    tree.file(p + L"App.sln", "solution");
    tree.file(p + L"App/App.vcxproj", "<Project/>");
    tree.file(p + L"App/App.vcxproj.user", "user settings");
    tree.file(p + L"App/main.cpp", "int main() {}");
    tree.file(objects + L"main.obj", std::string(1000, 'o'));
    tree.file(objects + L"App.tlog/CL.read.1.tlog", std::string(50, 't'));
    tree.file(p + L"x64/Release/App.exe", std::string(4000, 'e'));
    tree.file(p + L"x64/Release/App.pdb", std::string(2000, 'p'));
    tree.file(p + L"x64/Release/App.ilk", std::string(700, 'i'));
    if (parts.releaseObj) tree.file(p + L"x64/Release/App.obj", std::string(500, 'o'));
    if (parts.protectedObj) {
        tree.file(objects + L"keep.obj", std::string(300, 'k'));
        std::wstring line = parts.intermediates + std::wstring(L"/keep.obj\r\n");
        std::replace(line.begin(), line.end(), L'/', L'\\');
        tree.file(p + L"App/" + kDoNotDeleteFileName, Narrow(line));
    }
    if (parts.leftovers) {
        tree.file(p + L"App/Debug/a.obj", std::string(100, 'd'));
        tree.file(p + L"App/Debug/b.pdb", std::string(200, 'd'));
        tree.file(p + L"App.suo", std::string(10, 's'));
    }
}

void MakeSmallSolution(const TempTree& tree, const std::wstring& rel, const Paths& more)
{
    tree.file(rel + L"/App.sln", "Microsoft Visual Studio Solution File\r\n");
    tree.file(rel + L"/main.cpp", "int main() {}\r\n");
    for (const std::wstring& f : more) tree.file(rel + L"/" + f);
}

void RemoveTree(const std::wstring& path)
{
    const std::wstring target = LongPathForm(path);
    DWORD a = GetFileAttributesW(target.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return;
    if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const WIN32_FIND_DATAW& e : Entries(path)) RemoveTree(path + L"\\" + e.cFileName);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (a & FILE_ATTRIBUTE_DIRECTORY) RemoveDirectoryW(target.c_str());
    else DeleteFileW(target.c_str());
}

std::wstring EnvVar(const wchar_t* name) { return Env(name); }

std::wstring TempFolderOnC()
{
    wchar_t tmp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, tmp);
    std::wstring folder(tmp, n < MAX_PATH ? n : 0);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    MakeDirs(folder);
    return folder;
}

std::wstring TrashFilesFolder()
{
    std::wstring data = WindowsPath(Env(L"XDG_DATA_HOME"));
    return data.empty() ? data : data + L"\\Trash\\files";
}

namespace {
std::string UrlEncodePath(const std::string& utf8)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : utf8) {
        if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back((char)c);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

// The Path= values of every .trashinfo in the trash (as written, URL-encoded).
std::vector<std::string> TrashInfoPaths()
{
    std::vector<std::string> paths;
    std::wstring data = WindowsPath(Env(L"XDG_DATA_HOME"));
    if (data.empty()) return paths;
    const std::wstring info = data + L"\\Trash\\info";
    for (const WIN32_FIND_DATAW& e : Entries(info)) {
        if (DirListing::IsDirectory(e)) continue;
        std::string text = ReadAll(info + L"\\" + e.cFileName);
        size_t pos = text.find("Path=");
        if (pos == std::string::npos) continue;
        size_t end = text.find_first_of("\r\n", pos);
        paths.push_back(text.substr(pos + 5, end == std::string::npos ? std::string::npos : end - pos - 5));
    }
    return paths;
}

// Entries of `infos` whose original path is `windowsPath` or, with `below`, lies under it.
size_t CountTrashed(const std::vector<std::string>& infos, const std::wstring& windowsPath, bool below)
{
    const std::string raw = Narrow(LinuxPath(windowsPath)), encoded = UrlEncodePath(raw);
    size_t count = 0;
    for (const std::string& p : infos) {
        for (const std::string& want : {encoded, raw}) {
            if (p.starts_with(want) && (p.size() == want.size() || (below && p[want.size()] == '/'))) {
                ++count;
                break;
            }
        }
    }
    return count;
}
} // namespace

namespace {
// The .trashinfo file (a Windows path) of the trash entry whose original path
// is `windowsPath`; empty when there is none.
std::wstring TrashInfoOf(const std::wstring& windowsPath)
{
    const std::wstring info = WindowsPath(Env(L"XDG_DATA_HOME")) + L"\\Trash\\info";
    const std::vector<std::string> wanted = {"Path=" + UrlEncodePath(Narrow(LinuxPath(windowsPath))) + "\n",
                                             "Path=" + Narrow(LinuxPath(windowsPath)) + "\n"};
    for (const WIN32_FIND_DATAW& e : Entries(info)) {
        const std::string text = ReadAll(info + L"\\" + e.cFileName);
        if (text.find(wanted[0]) != std::string::npos || text.find(wanted[1]) != std::string::npos)
            return info + L"\\" + e.cFileName;
    }
    return L"";
}
} // namespace

bool BackdateTrashEntry(const std::wstring& windowsPath)
{
    const std::wstring file = TrashInfoOf(windowsPath);
    std::string text = file.empty() ? "" : ReadAll(file);
    const size_t date = text.find("DeletionDate=");
    if (date == std::string::npos) return false;
    text = text.substr(0, date) + "DeletionDate=2001-01-01T00:00:00\n";
    UniqueFile f(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return f && WriteFile(f.get(), text.data(), (DWORD)text.size(), &written, nullptr);
}

std::wstring TrashInfoFileOf(const std::wstring& windowsPath) { return TrashInfoOf(windowsPath); }

std::wstring TrashedObjectOf(const std::wstring& windowsPath)
{
    const std::wstring info = TrashInfoOf(windowsPath);
    const size_t name = info.find_last_of(L'\\') + 1, suffix = info.rfind(L".trashinfo");
    return info.empty() || suffix == std::wstring::npos ? L"" : TrashFilesFolder() + L"\\" + info.substr(name, suffix - name);
}

std::wstring TrashedOriginalOf(const std::wstring& entry)
{
    const std::wstring name = entry.substr(entry.find_last_of(L'\\') + 1);
    const std::string text = ReadAll(WindowsPath(Env(L"XDG_DATA_HOME")) + L"\\Trash\\info\\" + name + L".trashinfo");
    const size_t at = text.find("\nPath=");
    if (at == std::string::npos) return L"";
    const std::string encoded = text.substr(at + 6, text.find('\n', at + 6) - at - 6);
    std::string raw;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size() && isxdigit((unsigned char)encoded[i + 1]) &&
            isxdigit((unsigned char)encoded[i + 2])) {
            raw.push_back(static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            raw.push_back(encoded[i]);
        }
    }
    // Another drive's items are recorded by their place in the prefix (see LinuxPath).
    std::wstring path = Widen(raw);
    const std::wstring devices = Env(L"WINEPREFIX") + L"/dosdevices/";
    if (path.starts_with(devices) && path.size() >= devices.size() + 2 && path[devices.size() + 1] == L':') {
        path = std::wstring(1, towupper(path[devices.size()])) + L":" + path.substr(devices.size() + 2);
        std::replace(path.begin(), path.end(), L'/', L'\\');
        return path;
    }
    return WindowsPath(path);
}

bool InTrash(const std::wstring& windowsPath) { return CountTrashed(TrashInfoPaths(), windowsPath, false) > 0; }

Paths NotInTrash(const Paths& windowsPaths)
{
    std::set<std::string> recorded;
    for (std::string& p : TrashInfoPaths()) recorded.insert(std::move(p));
    Paths missing;
    for (const std::wstring& path : windowsPaths) {
        const std::string raw = Narrow(LinuxPath(path));
        if (!recorded.count(raw) && !recorded.count(UrlEncodePath(raw))) missing.push_back(path);
    }
    return missing;
}

size_t TrashEntriesUnder(const std::wstring& windowsPath) { return CountTrashed(TrashInfoPaths(), windowsPath, true); }

Paths TempTree::trashed(std::initializer_list<std::wstring> rels) const
{
    const std::vector<std::string> infos = TrashInfoPaths();
    return Select(rels, [&](const std::wstring& r) { return CountTrashed(infos, path(r), false) > 0; });
}

Paths TempTree::untrashed(std::initializer_list<std::wstring> rels) const
{
    const std::vector<std::string> infos = TrashInfoPaths();
    return Select(rels, [&](const std::wstring& r) { return CountTrashed(infos, path(r), false) == 0; });
}

UniqueFile HoldFile(const std::wstring& path, DWORD share)
{
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

ChildProcess::ChildProcess(std::wstring commandLine, const STARTUPINFOW* stdHandles, DWORD creationFlags)
{
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, stdHandles != nullptr, creationFlags, nullptr, nullptr,
                        const_cast<STARTUPINFOW*>(stdHandles ? stdHandles : &si), &pi))
        return;
    m_started = true;
    m_process.reset(pi.hProcess);
    m_thread.reset(pi.hThread);
    m_id = pi.dwProcessId;
}

ChildProcess::~ChildProcess()
{
    if (m_process && !WaitExit(0)) {
        TerminateProcess(handle(), 0xFFFFFFFF);
        WaitExit(5000);
    }
}

bool RunLinux(const std::wstring& commandLine, const std::function<bool()>& done, DWORD timeoutMs)
{
    ChildProcess child(commandLine);
    if (!child.started()) return false;
    child.WaitExit(timeoutMs);
    if (!done) {
        Sleep(200);
        return true;
    }
    for (DWORD waited = 0; waited < timeoutMs && !done(); waited += 10) Sleep(10);
    return done();
}

bool MakeDirSymlink(const std::wstring& link, const std::wstring& target)
{
    // Wine has no symbolic links of its own on Z:; the Linux side makes one.
    return RunLinux(L"/bin/ln -s \"" + LinuxPath(target) + L"\" \"" + LinuxPath(link) + L"\"", [&] {
        DWORD a = GetFileAttributesW(link.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    });
}

MappedDrive::MappedDrive(wchar_t letter, const std::wstring& folder)
    : m_link(WindowsPath(EnvVar(L"WINEPREFIX")) + L"\\dosdevices\\" + letter + L":")
{
    RunLinux(L"/bin/rm -f \"" + LinuxPath(m_link) + L"\"");
    const std::wstring root = std::wstring(1, static_cast<wchar_t>(towupper(letter))) + L":\\";
    m_ok = RunLinux(L"/bin/ln -s \"" + LinuxPath(folder) + L"\" \"" + LinuxPath(m_link) + L"\"",
                    [&] { return GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

MappedDrive::~MappedDrive() { RunLinux(L"/bin/rm -f \"" + LinuxPath(m_link) + L"\""); }

bool MakeStarNamedFolder(const std::wstring& path)
{
    const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
    const std::wstring name = path.substr(parent.size() + 1);
    return RunLinux(L"/bin/mkdir \"" + LinuxPath(path) + L"\"", [&] {
        for (const WIN32_FIND_DATAW& e : Entries(parent))
            if (name == e.cFileName) return true;
        return false;
    });
}

PROCESS_RESULT RunProcess(const std::wstring& commandLine, DWORD timeoutMs, const std::function<void()>& whileRunning)
{
    PROCESS_RESULT result;
    TempTree io(L"proc");
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    std::wstring outPath = io.path(L"out.txt"), errPath = io.path(L"err.txt");
    {
        UniqueFile out(CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        UniqueFile err(CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        UniqueFile in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in.get();
        si.hStdOutput = out.get();
        si.hStdError = err.get();
        ChildProcess child(commandLine, &si);
        if (!child.started()) {
            result.err = "CreateProcessW failed: " + std::to_string(GetLastError());
            return result;
        }
        if (whileRunning) whileRunning();
        if (!child.WaitExit(timeoutMs)) {
            result.timedOut = true;
            TerminateProcess(child.handle(), 0xFFFFFFFF);
            child.WaitExit(5000);
        }
        GetExitCodeProcess(child.handle(), &result.exitCode);
    }
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

namespace {
void SnapshotInto(const std::wstring& folder, const std::wstring& rel, std::string& out, bool folderTimes)
{
    std::vector<WIN32_FIND_DATAW> entries = Entries(folder);
    std::sort(entries.begin(), entries.end(),
              [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) { return wcscmp(a.cFileName, b.cFileName) < 0; });
    for (const WIN32_FIND_DATAW& d : entries) {
        std::wstring r = rel + L"\\" + d.cFileName;
        const bool isDir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out += Narrow(r) + " a=" + std::to_string(d.dwFileAttributes) + " s=" + std::to_string(d.nFileSizeLow);
        if (!isDir || folderTimes)
            out += " w=" + std::to_string(d.ftLastWriteTime.dwLowDateTime) + "/" +
                   std::to_string(d.ftLastWriteTime.dwHighDateTime);
        out += "\n";
        if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (isDir) SnapshotInto(folder + L"\\" + d.cFileName, r, out, folderTimes);
        else out += ReadAll(folder + L"\\" + d.cFileName) + "\n";
    }
}
} // namespace

std::string SnapshotTree(const std::wstring& root, bool folderTimes)
{
    std::string out;
    SnapshotInto(root, L"", out, folderTimes);
    return out;
}

bool UnderDouble() { return Env(L"MW_DELETER") == L"double"; }

namespace {
void WriteText(const std::wstring& file, const std::wstring& text)
{
    const std::string bytes = Narrow(text);
    UniqueFile f(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(f && WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr)) << Narrow(file);
}

std::string ReadWhole(const std::wstring& file)
{
    UniqueFile f(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    std::string bytes;
    char chunk[16384];
    DWORD got = 0;
    while (f && ReadFile(f.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}
} // namespace

DoublePlay::DoublePlay(const std::vector<PLAY_LINE>& lines) : m_folder(L"play")
{
    std::wstring text;
    for (const PLAY_LINE& line : lines) text += line.action + L"\t" + line.path + L"\n";
    WriteText(m_folder.path(L"play.txt"), text);
    SetEnvironmentVariableW(L"MW_DOUBLE_PLAY", m_folder.path(L"play.txt").c_str());
}

DoublePlay::~DoublePlay() { SetEnvironmentVariableW(L"MW_DOUBLE_PLAY", nullptr); }

DoubleRecord::DoubleRecord() : m_folder(L"record"), m_file(m_folder.path(L"record.txt"))
{
    WriteText(m_file, L"");
    SetEnvironmentVariableW(L"MW_DOUBLE_RECORD", m_file.c_str());
}

DoubleRecord::~DoubleRecord() { SetEnvironmentVariableW(L"MW_DOUBLE_RECORD", nullptr); }

DOUBLE_LOG DoubleRecord::Read() const
{
    DOUBLE_LOG log;
    for (const std::wstring& line : SplitTokens(Widen(ReadWhole(m_file)), L"\n")) {
        std::vector<std::wstring> f;
        for (size_t start = 0, tab = 0; tab != std::wstring::npos; start = tab + 1) {
            tab = line.find(L'\t', start);
            f.push_back(line.substr(start, tab == std::wstring::npos ? tab : tab - start));
        }
        f.resize(5);
        const DWORD value = wcstoul(f[1].c_str(), nullptr, 0);
        if (f[0] == L"flags") log.flags.push_back(value);
        else if (f[0] == L"deleteitem") ++log.deleteItemCalls;
        else if (f[0] == L"moveitem") ++log.moveItemCalls;
        else if (f[0] == L"perform") log.performed.push_back(value);
        else if (f[0] == L"aborted") log.aborted.push_back(static_cast<HRESULT>(value));
        else if (f[0] == L"pre-delete" || f[0] == L"pre-move") log.events.push_back({f[0], value, f[2], f[3], L""});
        else if (f[0] == L"post-delete") log.events.push_back({f[0], value, f[2], L"", f[3] == L"-" ? L"" : f[3]});
        else if (f[0] == L"post-move") log.events.push_back({f[0], value, f[2], f[3], f[4] == L"-" ? L"" : f[4]});
    }
    return log;
}

VolumeBinSetting::VolumeBinSetting(const std::wstring& path, const wchar_t* value, DWORD data)
    : m_lock(CreateMutexW(nullptr, FALSE, L"Local\\MopwrightTestBinSettings")), m_value(value)
{
    if (m_lock) WaitForSingleObject(m_lock.get(), INFINITE);
    wchar_t root[MAX_PATH], volume[MAX_PATH];
    if (!GetVolumePathNameW(path.c_str(), root, MAX_PATH) || !GetVolumeNameForVolumeMountPointW(root, volume, MAX_PATH)) return;
    const std::wstring name = volume;   // \\?\Volume{GUID}\ .
    const size_t open = name.find(L'{'), close = name.find(L'}');
    if (open == std::wstring::npos || close == std::wstring::npos) return;
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket\\Volume\\" +
                             name.substr(open, close - open + 1);
    if (RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value, REG_DWORD, &data, sizeof(data)) == ERROR_SUCCESS) m_key = key;
}

VolumeBinSetting::~VolumeBinSetting()
{
    if (valid()) RegDeleteKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), m_value);
    if (m_lock) ReleaseMutex(m_lock.get());
}

bool ParseJsonString(std::wstring_view json, std::wstring& text, size_t* length)
{
    if (json.empty() || json[0] != L'"') return false;
    std::wstring out;
    for (size_t i = 1; i < json.size(); ++i) {
        const wchar_t c = json[i];
        if (c == L'"') {
            text = std::move(out);
            if (length) *length = i + 1;
            return true;
        }
        if (c < 0x20) return false;
        if (c != L'\\') {
            out += c;
            continue;
        }
        if (++i == json.size()) return false;
        switch (json[i]) {
        case L'"': out += L'"'; break;
        case L'\\': out += L'\\'; break;
        case L'/': out += L'/'; break;
        case L'b': out += L'\b'; break;
        case L'f': out += L'\f'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L't': out += L'\t'; break;
        case L'u': {
            if (i + 4 >= json.size()) return false;
            unsigned unit = 0;
            for (size_t k = 1; k <= 4; ++k) {
                const wchar_t h = json[i + k];
                const int digit = h >= L'0' && h <= L'9'   ? h - L'0'
                                  : h >= L'a' && h <= L'f' ? h - L'a' + 10
                                  : h >= L'A' && h <= L'F' ? h - L'A' + 10
                                                           : -1;
                if (digit < 0) return false;
                unit = unit * 16 + static_cast<unsigned>(digit);
            }
            out += static_cast<wchar_t>(unit);
            i += 4;
            break;
        }
        default: return false;
        }
    }
    return false;   // no closing quote
}

bool FirstJsonFolder(const std::string& json, std::wstring& name)
{
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, json.data(), static_cast<int>(json.size()), nullptr, 0) <= 0)
        return false;
    const std::wstring text = Widen(json);
    const std::wstring_view record = L"{\"folder\":";
    const size_t at = text.find(record);
    return at != std::wstring::npos && ParseJsonString(std::wstring_view(text).substr(at + record.size()), name);
}

bool MakeSparseFile(const std::wstring& path, unsigned long long bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(bytes);
    return file && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

std::string ReadBytes(const std::wstring& path)
{
    UniqueFile f(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!f || !GetFileSizeEx(f.get(), &size)) return {};
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && !ReadFile(f.get(), bytes.data(), (DWORD)bytes.size(), &got, nullptr)) return {};
    bytes.resize(got);
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFile f(CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return f && (bytes.empty() || (WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr) &&
                                   written == bytes.size()));
}

SHELL_RESULT RunShell(const std::wstring& folder, const std::string& script, DWORD timeoutMs)
{
    SHELL_RESULT result;
    TempTree io(L"sh");
    const std::string dir = Narrow(LinuxPath(io.root()));
    io.file(L"body.sh", script);
    // Single quotes hold any path but one with a quote of its own.
    io.file(L"run.sh", "export PATH=/usr/local/bin:/usr/bin:/bin LC_ALL=C\n"
                       "export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null\n"
                       "export GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@example.com\n"
                       "export GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@example.com\n"
                       "cd '" + Narrow(LinuxPath(folder)) + "' && /bin/sh -e '" + dir + "/body.sh' >'" + dir +
                       "/out.txt' 2>&1\n"
                       "echo $? >'" + dir + "/rc.tmp' && mv '" + dir + "/rc.tmp' '" + dir + "/rc.txt'\n");
    const std::wstring rc = io.path(L"rc.txt");
    result.finished = RunLinux(L"/bin/sh \"" + LinuxPath(io.path(L"run.sh")) + L"\"",
                               [&] { return GetFileAttributesW(rc.c_str()) != INVALID_FILE_ATTRIBUTES; }, timeoutMs);
    result.output = ReadBytes(io.path(L"out.txt"));
    if (result.finished) result.exitCode = atoi(ReadBytes(rc).c_str());
    return result;
}

} // namespace testutil
