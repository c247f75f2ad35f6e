#include "cli/ConsoleHost.h"

#include <io.h>
#include <algorithm>

#include "engine/planning/Planner.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"
#include "support/Utf8.h"

std::wstring IsoTime(ULONGLONG fileTime)
{
    FILETIME ft{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME st{};
    ::FileTimeToSystemTime(&ft, &st);
    return FormatText(L"%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

std::wstring SkippedText(const std::vector<SKIPPED_FOLDER>& skipped)
{
    std::wstring out;
    for (const SKIPPED_FOLDER& s : skipped)
        out += L"Skipped, changed " + IsoTime(s.newestChange) + L": " + s.folder + L"\n";
    return out;
}

CConsoleHost::CConsoleHost(Output output) : m_echo(output == Output::Text), m_progress(false)
{
    DWORD mode = 0;
    m_progress = output == Output::Text && ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode);
}

bool CConsoleHost::FolderPlanned(const CLEANUP_PLAN& plan)
{
    if (m_ageLimit && plan.status == FolderStatus::Planned && ChangedSince(plan.newestKept, m_ageLimit)) {
        m_skipped.push_back({plan.folder, plan.newestKept});
        EraseProgress();
        if (m_echo) WriteOut(stdout, SkippedText({m_skipped.back()}));
        return false;
    }
    m_folders.push_back({plan.folder, {}});
    return true;
}

namespace {

// `folder` in at most `width` characters: its drive (or server) and as much of
// its end as fits, whole names where they do ("C:\...\Projects\App").
std::wstring ShortenedFolder(const std::wstring& folder, size_t width)
{
    if (folder.size() <= width) return folder;
    const size_t headEnd = folder.find(L'\\', folder.starts_with(L"\\\\") ? 2 : 0);
    const std::wstring head = (headEnd == std::wstring::npos ? std::wstring() : folder.substr(0, headEnd)) + L"\\...";
    if (head.size() >= width) return folder.substr(folder.size() - width);
    std::wstring tail = folder.substr(folder.size() - (width - head.size()));
    const size_t separator = tail.find(L'\\');
    if (separator != std::wstring::npos && separator + 1 < tail.size()) tail.erase(0, separator);
    return head + tail;
}

// Columns of the console behind standard error; a line as wide wraps.
size_t ConsoleWidth()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) || info.dwSize.X <= 0) return 80;
    return static_cast<size_t>(info.dwSize.X);
}

} // namespace

void CConsoleHost::Progress(UINT done, UINT total, unsigned long long bytes)
{
    if (!m_progress) return;
    // A few updates a second are enough to read; the last item always shows.
    const DWORD now = ::GetTickCount();
    if (done != total && m_shownLength && now - m_lastDraw < 150) return;
    m_lastDraw = now;
    // "Solution 1 of 2, C:\src\App: 10 of 20 items, 1234 bytes" on one line,
    // the folder shortened to fit; on a very narrow console without it.
    const std::wstring solution =
        FormatText(L"Solution %zu of %zu", m_folders.size(), std::max(m_solutions, m_folders.size()));
    const std::wstring counts = m_countBytes ? FormatText(L": %u of %u items, %llu bytes", done, total, bytes)
                                             : FormatText(L": %u of %u items", done, total);
    // Room for the folder as if every item were done: it keeps its length while the count grows.
    const size_t width = ConsoleWidth() - 1,
                 fixed = solution.size() + 2 + counts.size() + std::to_wstring(total).size() - std::to_wstring(done).size();
    constexpr size_t kShortestFolder = 12;
    std::wstring text = solution;
    if (!m_folders.empty() && width >= fixed + kShortestFolder)
        text += L", " + ShortenedFolder(m_folders.back().folder, width - fixed);
    text += counts;
    const size_t length = text.size();
    if (length < m_shownLength) text.append(m_shownLength - length, L' ');
    WriteOut(stderr, L"\r" + text);
    m_shownLength = length;
}

void CConsoleHost::EraseProgress()
{
    if (!m_shownLength) return;
    WriteOut(stderr, L"\r" + std::wstring(m_shownLength, L' ') + L"\r");
    m_shownLength = 0;
}

void CConsoleHost::RunEnded(bool errorsSeen)
{
    EraseProgress();
    m_succeeded = !errorsSeen;
}

void CConsoleHost::Log(const std::wstring& line)
{
    m_lines.push_back(line);
    EraseProgress();
    if (m_echo) {
        WriteOut(stdout, line + L"\n");
        fflush(stdout);
    }
}

void CConsoleHost::ItemFailed(const std::wstring& path, DWORD error)
{
    if (m_folders.empty()) m_folders.push_back({});
    m_folders.back().failures.push_back({path, error});
    EraseProgress();
    if (m_echo) {
        WriteOut(stdout, FormatText(L"FAILED: (%d) \"%ls\". %ls\n", static_cast<int>(error), path.c_str(),
                                    GetErrorText(error).c_str()));
        fflush(stdout);
    }
}

bool CConsoleHost::KeepGoing() { return !ConsoleStopRequested(); }

namespace {
volatile LONG g_stopRequested = 0;

BOOL WINAPI OnConsoleCtrl(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        // Only the flag: the run notices it between two items, never inside a
        // shell call, and stops the pass with ERROR_REQUEST_ABORTED.
        ::InterlockedExchange(&g_stopRequested, 1);
        return TRUE;
    }
    return FALSE;
}
} // namespace

void InstallConsoleStopHandler() { ::SetConsoleCtrlHandler(OnConsoleCtrl, TRUE); }

bool ConsoleStopRequested() { return ::InterlockedCompareExchange(&g_stopRequested, 0, 0) != 0; }

void WriteOut(FILE* stream, const std::wstring& text)
{
    HANDLE h = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode)) {
        fflush(stream);
        DWORD written = 0;
        ::WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Whoever reads a pipe or a file expects valid UTF-8: a surrogate of its
    // own becomes U+FFFD there (JSON strings escape it before it gets here).
    const std::string utf8 = Utf8FromWide(text);
    fwrite(utf8.data(), 1, utf8.size(), stream);
}
