#include "cli/ConsoleHost.h"

#include <io.h>
#include "engine/CleanupRun.h"

CConsoleHost::CConsoleHost(std::vector<std::wstring> folders, bool deleteSuo, bool echoLines)
    : m_folders(std::move(folders)), m_deleteSuo(deleteSuo), m_echo(echoLines)
{
}

void CConsoleHost::SetLogText(const std::wstring& text)
{
    // AppendLog hands over "line\r\n" + the (empty) old text.
    std::wstring line = text;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, L"\r\n") == 0) line.resize(line.size() - 2);
    m_lines.push_back(line);
    if (m_echo) {
        WriteOut(stdout, line + L"\n");
        fflush(stdout);
    }
}

bool CConsoleHost::PumpMessage()
{
    MSG msg;
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return true;
    if (msg.message == WM_QUIT) return false;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    return true;
}

namespace {
BOOL WINAPI OnConsoleCtrl(DWORD type)
{
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) {
        // Only the flag: the run notices it between two items, never inside a
        // shell call, and stops the pass with ERROR_REQUEST_ABORTED.
        g_bAbortRequested = TRUE;
        return TRUE;
    }
    return FALSE;
}
} // namespace

void InstallConsoleStopHandler() { ::SetConsoleCtrlHandler(OnConsoleCtrl, TRUE); }

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
