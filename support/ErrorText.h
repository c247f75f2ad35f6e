#pragma once
#include <windows.h>
#include <string>

// The system's text for a Windows error code as one line: every CR and LF
// removed, nothing else trimmed. Codes 12000-12175 come from wininet.dll's
// message table. Code 0 and codes without a text give an empty string. May
// change the last error, so read the code before asking for its text.
std::wstring GetErrorText(DWORD code);
