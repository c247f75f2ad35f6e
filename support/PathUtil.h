#pragma once
// Path and text helpers whose exact behaviour the engine relies on. Both '\'
// and '/' count as separators wherever a helper looks for one; no helper turns
// one into the other in its result.
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

// Trims " \t\r\n" at both ends, then adds (TRUE) or strips (FALSE) one trailing
// separator. An empty result stays empty. A null path counts as empty.
std::wstring NormalizeFolderPath(const wchar_t* path, BOOL trailingSeparator);
std::wstring NormalizeFolderPath(const std::wstring& path, BOOL trailingSeparator);

// The text before the last '\' (or, with none, before the last '/'); empty when
// the path holds neither.
std::wstring GetParentPath(const std::wstring& path);

// The PathIsRelativeW rule, with every '/' read as '\'.
BOOL IsRelativePath(const std::wstring& path);

// TRUE for an existing file (not a folder). Last error: 0 when TRUE,
// ERROR_BAD_FORMAT (11) for a folder, otherwise the existence test's error.
BOOL IsExistingFile(const std::wstring& path);

// The full path of a loaded module's file (null: the program's own), however
// long; empty when Windows cannot say.
std::wstring ModulePath(HMODULE module);

// Whole-path comparison ignoring case by the user's locale, nothing else. The
// program itself compares paths by their keys (PathKey, FoldPathCase); the
// tests and the tests' double of the shell's file operation call this.
BOOL PathsEqual(const std::wstring& a, const std::wstring& b);

// PathFindFileNameW / PathFindExtensionW, as views into `path`.
std::wstring_view FileNamePart(const std::wstring& path);
const wchar_t* FindExtension(const wchar_t* name);

// `base` + one '\' + `name`: the one way a child's path is built. No
// separator is doubled when `base` already ends in one (a root such as "Z:\").
std::wstring JoinPath(std::wstring_view base, std::wstring_view name);
// The same in place, for walkers that grow and cut back one path buffer.
std::wstring& AppendPath(std::wstring& base, std::wstring_view name);

// The system's full path for `path` (GetFullPathNameW), blanks around it
// trimmed; `path` itself when the system gives none.
std::wstring FullPath(const std::wstring& path);

// TRUE when a component of `path` ends in a dot or a blank: the system's
// ordinary path rules strip those, so such a path names another object unless
// it is given in the "\\?\" form.
bool HasStrippedComponent(std::wstring_view path);

// The form in which a full, '\'-separated path reaches the file system
// exactly as written: "\\?\X:\..." or "\\?\UNC\server\share\..." when the
// path is longer than the ordinary limit or has a component ending in a dot or
// a blank; otherwise the path itself. Paths that are not plain (relative,
// with '/' or dot segments, already in a device form) come back unchanged.
std::wstring LongPathForm(const std::wstring& path);

// The one spelling in which paths are compared: '/' read as '\\', repeated
// separators collapsed, "." and ".." resolved (never above the root), no
// trailing separator (a drive root keeps its own), the "\\?\" prefix dropped.
// Names ending in a dot or blank stay as written, so that the result never
// names another object. A path that is not full (relative, drive-relative or
// rooted without a drive) comes back with only its separators read.
std::wstring CanonicalPath(std::wstring_view path);

// `path` upper-cased character by character, as file systems compare names.
std::wstring FoldPathCase(std::wstring_view path);

// The key under which two spellings of one full path are equal: blanks and a
// trailing separator trimmed, canonical, case-folded.
std::wstring PathKey(const std::wstring& path);


// TRUE when `folder` exists and is a directory, looked at with the WOW64
// file-system redirection switched off (for this test alone).
bool FolderExists(const std::wstring& folder);

// Shared text operations.
std::wstring TrimBlanks(std::wstring_view text);        // " \t\r\n" exactly
std::wstring TrimWhiteSpace(std::wstring_view text);    // whatever iswspace calls space
std::wstring RemoveChar(std::wstring text, wchar_t ch); // every occurrence
// Splits at any of `separators`; runs of separators give no empty tokens.
std::vector<std::wstring> SplitTokens(std::wstring_view text, std::wstring_view separators);
// printf-style formatting; use %ls for strings and %d for numbers.
std::wstring FormatText(const wchar_t* format, ...);

// Name comparison used for folder names and extensions: lstrcmpiW's answer,
// reached without the call when both names are plain ASCII.
bool NameEquals(const wchar_t* a, const wchar_t* b);
