#include "tests/TestUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>

#include "support/DirListing.h"
#include "support/PathUtil.h"
#include "support/UniqueHandle.h"

namespace testutil {

std::string Narrow(const std::wstring& s)
{
    if (s.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), (int)s.size(), out.data(), n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> SplitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 2;
    }
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
std::wstring Env(const wchar_t* name)
{
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    return (n > 0 && n < 4096) ? std::wstring(buf, n) : std::wstring();
}

} // namespace

std::wstring EnvVar(const wchar_t* name) { return Env(name); }

namespace {
// A Linux path from the environment as Wine's Z: path.
std::wstring UnixToWindows(std::wstring p)
{
    if (p.empty() || p[0] != L'/') return p;
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return L"Z:" + p;
}

std::wstring TestRoot()
{
    std::wstring root = UnixToWindows(Env(L"MW_TEST_ROOT"));
    if (root.empty()) {
        wchar_t tmp[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, tmp);
        root.assign(tmp, n);
        if (!root.empty() && root.back() == L'\\') root.pop_back();
    }
    CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

std::wstring Slashes(std::wstring rel)
{
    std::replace(rel.begin(), rel.end(), L'/', L'\\');
    return rel;
}

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

void ListInto(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& out)
{
    DirListing l;
    if (!l.Open(folder + L"\\")) return;
    const WIN32_FIND_DATAW* e;
    while (l.Next(e)) {
        std::wstring rel = prefix + e->cFileName;
        if (DirListing::IsDirectory(*e)) {
            out.push_back(rel + L"\\");
            if (!DirListing::IsLink(*e)) ListInto(folder + L"\\" + e->cFileName, rel + L"\\", out);
        } else {
            out.push_back(rel);
        }
    }
}
} // namespace

TempTree::TempTree(const std::wstring& hint)
{
    static std::atomic<unsigned> counter{0};
    std::wstring base = TestRoot();
    for (;;) {
        m_root = base + L"\\" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(m_root.c_str(), nullptr)) break;
    }
}

TempTree::~TempTree() { RemoveTree(m_root); }

std::wstring TempTree::path(const std::wstring& rel) const
{
    return rel.empty() ? m_root : m_root + L"\\" + Slashes(rel);
}

void TempTree::dir(const std::wstring& rel) const { MakeDirs(path(rel)); }

void TempTree::file(const std::wstring& rel, const std::string& bytes) const
{
    std::wstring p = path(rel);
    size_t pos = p.find_last_of(L'\\');
    MakeDirs(p.substr(0, pos));
    UniqueFile f(CreateFileW(LongPathForm(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    ASSERT_TRUE(f.valid()) << Narrow(p);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(f.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

bool TempTree::exists(const std::wstring& rel) const
{
    return GetFileAttributesW(LongPathForm(path(rel)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool TempTree::isDir(const std::wstring& rel) const
{
    DWORD a = GetFileAttributesW(path(rel).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> TempTree::listing() const
{
    std::vector<std::wstring> out;
    ListInto(m_root, L"", out);
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveTree(const std::wstring& path)
{
    // The \\?\ form reaches names that end in a dot or blank, and long paths.
    const std::wstring target = LongPathForm(path);
    DWORD a = GetFileAttributesW(target.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
        return;
    }
    if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        DirListing l;
        if (l.Open(path)) {
            const WIN32_FIND_DATAW* e;
            std::vector<std::wstring> children;
            while (l.Next(e))
                children.push_back(JoinPath(path, e->cFileName));
            l.Close();
            for (auto& c : children) RemoveTree(c);
        }
    }
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(target.c_str());
}

std::wstring TrashFilesFolder()
{
    std::wstring data = Env(L"XDG_DATA_HOME");
    if (data.empty()) return {};
    return UnixToWindows(data) + L"\\Trash\\files";
}

std::vector<std::wstring> TrashNames()
{
    std::vector<std::wstring> names;
    std::wstring folder = TrashFilesFolder();
    if (folder.empty()) return names;
    DirListing l;
    if (!l.Open(folder + L"\\")) return names;
    const WIN32_FIND_DATAW* e;
    while (l.Next(e))
        names.push_back(e->cFileName);
    return names;
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

namespace {
// The Path= values of every .trashinfo in the trash (as written, URL-encoded).
std::vector<std::string> TrashInfoPaths()
{
    std::vector<std::string> paths;
    std::wstring files = TrashFilesFolder();
    if (files.empty()) return paths;
    std::wstring info = files.substr(0, files.size() - 5) + L"info";
    DirListing l;
    if (!l.Open(info + L"\\")) return paths;
    const WIN32_FIND_DATAW* e;
    while (l.Next(e)) {
        if (DirListing::IsDirectory(*e)) continue;
        std::string text = ReadAll(info + L"\\" + e->cFileName);
        size_t pos = text.find("Path=");
        if (pos == std::string::npos) continue;
        size_t end = text.find_first_of("\r\n", pos);
        paths.push_back(text.substr(pos + 5, end == std::string::npos ? std::string::npos : end - pos - 5));
    }
    return paths;
}
} // namespace

size_t TrashEntriesUnder(const std::wstring& windowsPath)
{
    std::string prefix = UrlEncodePath(Narrow(LinuxPath(windowsPath)));
    std::string raw = Narrow(LinuxPath(windowsPath));
    size_t count = 0;
    for (const std::string& p : TrashInfoPaths()) {
        for (const std::string& want : {prefix, raw}) {
            if (p.compare(0, want.size(), want) == 0 && (p.size() == want.size() || p[want.size()] == '/')) {
                ++count;
                break;
            }
        }
    }
    return count;
}

bool InTrash(const std::wstring& windowsPath)
{
    std::wstring files = TrashFilesFolder();
    if (files.empty()) return false;
    std::wstring info = files.substr(0, files.size() - 5) + L"info";
    // Z:\a\b -> /a/b, as the .trashinfo records it (URL-encoded).
    std::wstring unixPath = windowsPath;
    if (unixPath.size() >= 2 && unixPath[1] == L':') unixPath = unixPath.substr(2);
    std::replace(unixPath.begin(), unixPath.end(), L'\\', L'/');
    std::string want = "Path=" + UrlEncodePath(Narrow(unixPath));
    std::string wantRaw = "Path=" + Narrow(unixPath);
    DirListing l;
    if (!l.Open(info + L"\\")) return false;
    const WIN32_FIND_DATAW* e;
    while (l.Next(e)) {
        if (DirListing::IsDirectory(*e)) continue;
        std::string text = ReadAll(info + L"\\" + e->cFileName);
        for (const std::string& w : {want, wantRaw}) {
            size_t pos = text.find(w);
            if (pos != std::string::npos) {
                size_t end = pos + w.size();
                if (end == text.size() || text[end] == '\n' || text[end] == '\r') return true;
            }
        }
    }
    return false;
}

std::wstring LinuxPath(std::wstring p)
{
    if (p.size() >= 2 && p[1] == L':') p = p.substr(2);
    std::replace(p.begin(), p.end(), L'\\', L'/');
    return p;
}

bool RunLinux(std::wstring commandLine, const std::function<bool()>& done, DWORD timeoutMs)
{
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    UniqueKernel proc(pi.hProcess), thread(pi.hThread);
    WaitForSingleObject(pi.hProcess, timeoutMs);
    if (!done) {
        Sleep(200);
        return true;
    }
    for (DWORD waited = 0; waited < timeoutMs && !done(); waited += 10) Sleep(10);
    return done();
}

bool MakeUnlistableFolder(const std::wstring& path)
{
    return RunLinux(L"/bin/mkdir \"" + LinuxPath(path) + L"\"", [&] {
        const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
        const std::wstring name = path.substr(parent.size() + 1);
        DirListing l;
        const WIN32_FIND_DATAW* e;
        if (l.Open(parent))
            while (l.Next(e))
                if (name == e->cFileName) return true;
        return false;
    });
}

void RemoveUnlistableFolder(const std::wstring& path)
{
    RunLinux(L"/bin/rm -rf \"" + LinuxPath(path) + L"\"");
}

bool MakeDirSymlink(const std::wstring& link, const std::wstring& target)
{
    // Wine has no symbolic links of its own on Z:; the Linux side makes one.
    return RunLinux(L"/bin/ln -s \"" + LinuxPath(target) + L"\" \"" + LinuxPath(link) + L"\"", [&] {
        DWORD a = GetFileAttributesW(link.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
    });
}

} // namespace testutil

namespace testutil {

std::wstring UnixToWindowsPath(const std::wstring& path) { return UnixToWindows(path); }

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
        PROCESS_INFORMATION pi{};
        std::wstring cmd = commandLine;
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            result.err = "CreateProcessW failed: " + std::to_string(GetLastError());
            return result;
        }
        UniqueKernel proc(pi.hProcess), thread(pi.hThread);
        if (whileRunning) whileRunning();
        if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            result.timedOut = true;
            TerminateProcess(pi.hProcess, 0xFFFFFFFF);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
    }
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
}

namespace {
void SnapshotInto(const std::wstring& folder, const std::wstring& rel, std::string& out)
{
    std::vector<std::wstring> names;
    DirListing l;
    if (!l.Open(folder + L"\\")) return;
    const WIN32_FIND_DATAW* e;
    std::vector<WIN32_FIND_DATAW> entries;
    while (l.Next(e))
        entries.push_back(*e);
    l.Close();
    std::sort(entries.begin(), entries.end(),
              [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) { return wcscmp(a.cFileName, b.cFileName) < 0; });
    for (const WIN32_FIND_DATAW& d : entries) {
        std::wstring r = rel + L"\\" + d.cFileName;
        out += Narrow(r) + " a=" + std::to_string(d.dwFileAttributes) + " s=" + std::to_string(d.nFileSizeLow) +
               " w=" + std::to_string(d.ftLastWriteTime.dwLowDateTime) + "/" +
               std::to_string(d.ftLastWriteTime.dwHighDateTime) + "\n";
        if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) SnapshotInto(folder + L"\\" + d.cFileName, r, out);
        else out += ReadAll(folder + L"\\" + d.cFileName) + "\n";
    }
}
} // namespace

std::string SnapshotTree(const std::wstring& root)
{
    std::string out;
    SnapshotInto(root, L"", out);
    return out;
}

} // namespace testutil
