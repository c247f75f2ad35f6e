#pragma once
#include <windows.h>
#include <string>

// Codes of this program's own, with texts of their own (the customer bit set,
// so that no system code is ever taken for one of them).
// No path, or a relative one: never deleted through (8208, a system code).
// The Windows error code an HRESULT carries (a Win32 failure: its code), or
// the HRESULT itself, which GetErrorText knows as well.
DWORD ErrorFromResult(HRESULT hr);

inline constexpr DWORD kErrorRelativePath = 0x2010;
inline constexpr DWORD kErrorRecycleBinRefused = 0x20000101;   // the bin could not take the item
inline constexpr DWORD kErrorItemRemains = 0x20000102;         // "deleted", yet still there
inline constexpr DWORD kErrorUnreadableKeepList = 0x20000103;  // a do-not-delete file could not be read
inline constexpr DWORD kErrorNoRestoreCommand = 0x20000104;    // the bin offers no way to put an item back
inline constexpr DWORD kErrorNotRestored = 0x20000105;         // "restored", yet not back in its place
inline constexpr DWORD kErrorRestoreAmbiguous = 0x20000106;    // more than one item in the bin could be it
inline constexpr DWORD kErrorItemDestroyed = 0x20000107;       // the shell deleted it permanently
inline constexpr DWORD kErrorRecyclingStopped = 0x20000108;    // nothing more goes to the bin after a destroyed item
inline constexpr DWORD kErrorNoDeleter = 0x20000109;           // the shell's file operation failed its check
inline constexpr DWORD kErrorRestoreRunning = 0x2000010A;      // another restore of the folder is under way
inline constexpr DWORD kErrorOutsideFolder = 0x2000010B;       // a journal line names a place outside its folder
inline constexpr DWORD kErrorPathTooLongForShell = 0x2000010C; // longer than the shell's file operations take
// A git index, and what holds it, that could not be read.
inline constexpr DWORD kErrorUnreadableGitIndex = 0x20000201;  // the folder's failure: nothing was removed
inline constexpr DWORD kErrorGitIndexVersion = 0x20000202;     // a version other than 2, 3 and 4
inline constexpr DWORD kErrorGitIndexExtension = 0x20000203;   // a required extension not known
inline constexpr DWORD kErrorGitIndexChecksum = 0x20000204;    // the bytes do not match the checksum
inline constexpr DWORD kErrorGitIndexCutOff = 0x20000205;      // the file ends too early
inline constexpr DWORD kErrorGitIndexMalformed = 0x20000206;   // not in the format git writes
inline constexpr DWORD kErrorGitSharedIndexMissing = 0x20000207;  // a split index without its shared index
inline constexpr DWORD kErrorGitLinkBroken = 0x20000208;       // a .git file that names no git folder
inline constexpr DWORD kErrorGitObjectFormat = 0x20000209;     // object names neither SHA-1 nor SHA-256

// The system's text for a Windows error code as one line: every CR and LF
// removed, nothing else trimmed. Codes 12000-12175 come from wininet.dll's
// message table; the shell's copy-engine answers (facility 0x27, successes
// that leave an item where it is among them) have texts of their own. Code 0
// and codes without a text give an empty string. May
// change the last error, so read the code before asking for its text.
std::wstring GetErrorText(DWORD code);
