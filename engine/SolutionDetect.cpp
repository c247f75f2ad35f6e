#include "engine/SolutionDetect.h"

#include "support/DirListing.h"
#include "support/PathUtil.h"

BOOL FindSolutionFile(const std::wstring& folder, const wchar_t* extension, std::wstring* outBaseName)
{
    std::wstring baseName;
    BOOL found = FALSE;
    DWORD error = ERROR_NO_MORE_FILES;

    DirListing listing;
    if (!listing.Open(NormalizeFolderPath(folder, TRUE))) {
        error = listing.EndError();
    } else {
        const WIN32_FIND_DATAW* e;
        while (listing.Next(e)) {
            if (DirListing::IsDirectory(*e)) continue;   // a folder named App.sln does not count
            const wchar_t* ext = FindExtension(e->cFileName);
            if (*ext && NameEquals(ext, extension)) {
                found = TRUE;
                baseName.assign(e->cFileName, ext);
                break;
            }
        }
        if (!found) error = listing.EndError();
    }
    if (outBaseName) *outBaseName = baseName;
    ::SetLastError(error);
    return found && error == ERROR_NO_MORE_FILES;
}
