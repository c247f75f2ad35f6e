#include "cli/ConsoleHost.h"

#include <io.h>

#include "support/ErrorText.h"
#include "support/PathUtil.h"

CConsoleHost::CConsoleHost(bool echoLines) : m_echo(echoLines) {}

void CConsoleHost::Log(const std::wstring& line)
{
    m_lines.push_back(line);
    if (m_echo) {
        WriteOut(stdout, line + L"\n");
        fflush(stdout);
    }
}

void CConsoleHost::ItemFailed(const std::wstring& path, DWORD error)
{
    if (m_folders.empty()) m_folders.push_back({});
    m_folders.back().failures.push_back({path, error});
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
