#include "cli/ConsoleHost.h"

#include <io.h>
#include <algorithm>

#include "engine/Planning.h"
#include "support/ErrorText.h"
#include "support/PathUtil.h"

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

void CConsoleHost::Progress(UINT done, UINT total, unsigned long long bytes)
{
    if (!m_progress) return;
    // A few updates a second are enough to read; the last item always shows.
    const DWORD now = ::GetTickCount();
    if (done != total && m_shownLength && now - m_lastDraw < 150) return;
    m_lastDraw = now;
    std::wstring text = FormatText(L"Solution %zu of %zu: %u of %u items, %llu bytes", m_folders.size(),
                                   std::max(m_solutions, m_folders.size()), done, total, bytes);
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
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stream);
}
