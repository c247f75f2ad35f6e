#include "engine/ProtectedListReader.h"

#include <shlwapi.h>

#include "engine/Beep.h"
#include "support/PathUtil.h"
#include "support/TextFile.h"

void LoadProtectedList(const std::wstring& folder, ProtectedList& list)
{
    const std::wstring base = NormalizeFolderPath(folder, TRUE);
    if (base.empty()) return;   // an empty path would name a file of the current folder
    const std::wstring file = base + kDoNotDeleteFileName;
    // One existence test per folder: most folders have no such file.
    if (!IsExistingFile(file)) return;

    std::wstring text;
    if (!ReadTextFile(file, text)) {
        EngineBeep(MB_ICONEXCLAMATION);
        return;
    }
    if (text.empty()) return;

    // CR LF (and any mix with LF): the carriage returns go; CR alone: old Mac lines.
    const bool hasCr = text.find(L'\r') != std::wstring::npos;
    const bool hasLf = text.find(L'\n') != std::wstring::npos;
    wchar_t separator = L'\n';
    if (hasCr && hasLf) text = RemoveChar(std::move(text), L'\r');
    else if (hasCr) separator = L'\r';

    for (const std::wstring& token : SplitTokens(text, std::wstring_view(&separator, 1))) {
        std::wstring line = TrimWhiteSpace(token);
        if (line.empty()) continue;
        for (wchar_t& c : line)
            if (c == L'/') c = L'\\';
        std::wstring candidate = IsRelativePath(line) ? base + line : std::move(line);
        candidate = ResolveDotSegments(candidate);

        int isFolder;
        if (IsExistingFile(candidate)) isFolder = 0;
        else if (FolderExists(candidate)) isFolder = 1;
        else continue;   // names nothing (now): nothing to protect

        // Compared as written, before a folder loses its trailing separator.
        if (list.Protects(candidate, isFolder != 0)) continue;
        if (isFolder) candidate = NormalizeFolderPath(candidate, FALSE);
        list.Add({isFolder, std::move(candidate)});
    }
}
