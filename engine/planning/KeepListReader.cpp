#include "engine/planning/KeepListReader.h"

#include "engine/records/Beep.h"
#include "support/PathUtil.h"
#include "support/TextFile.h"

namespace {

// What a line names now: 0 a file, 1 a folder, -1 nothing.
int KindOf(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(LongPathForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

} // namespace

BOOL ReadProtectedListFile(const std::wstring& file, ProtectedList& list)
{
    std::wstring text;
    if (!ReadTextFile(file, text, kMaxDoNotDeleteFileBytes)) {
        const DWORD error = ::GetLastError();
        EngineBeep(MB_ICONEXCLAMATION);
        ::SetLastError(error);
        return FALSE;
    }
    // The list protects itself: the next build-and-clean still finds it.
    const std::wstring base = GetParentPath(CanonicalPath(file));
    list.Add({0, CanonicalPath(file)});

    // CR LF (and any mix with LF): the carriage returns go; CR alone: old Mac lines.
    const bool hasCr = text.find(L'\r') != std::wstring::npos;
    const bool hasLf = text.find(L'\n') != std::wstring::npos;
    wchar_t separator = L'\n';
    if (hasCr && hasLf) text = RemoveChar(std::move(text), L'\r');
    else if (hasCr) separator = L'\r';

    for (const std::wstring& token : SplitTokens(text, std::wstring_view(&separator, 1))) {
        std::wstring line = TrimWhiteSpace(token);
        // "Copy as path" wraps a path in quotes; no Windows name holds one.
        if (line.size() >= 2 && line.front() == L'"' && line.back() == L'"') line = line.substr(1, line.size() - 2);
        if (line.empty()) continue;
        const std::wstring candidate = CanonicalPath(IsRelativePath(line) ? JoinPath(base, line) : line);
        const int kind = KindOf(candidate);
        if (kind < 0) continue;   // names nothing (now): nothing to protect
        list.Add({kind, candidate});
    }
    ::SetLastError(0);
    return TRUE;
}

BOOL LoadProtectedList(const std::wstring& folder, ProtectedList& list)
{
    const std::wstring base = NormalizeFolderPath(folder, FALSE);
    if (base.empty()) return TRUE;   // an empty path would name a file of the current folder
    const std::wstring file = JoinPath(base, kDoNotDeleteFileName);
    if (!IsExistingFile(file)) return TRUE;
    return ReadProtectedListFile(file, list);
}
