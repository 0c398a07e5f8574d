// Where an installed copy writes its files on Windows: a copy under Program Files writes to the
// user's local application data folder, as installed programs do there.
#include "common/ExecutableFolder.h"
#include "common/SystemFiles.h"
#include "common/WideText.h"

#include <windows.h>
// after windows.h, which it needs
#include <shlobj.h>

namespace
{
std::string knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) {
        out = utf8Of(path);
    }
    ::CoTaskMemFree(path);
    return out;
}
} // namespace

FilesFolderRule currentFilesFolderRule()
{
    std::string dataHome = knownFolder(FOLDERID_LocalAppData);
    if (dataHome.empty())
        dataHome = knownFolder(FOLDERID_Profile);
    return FilesFolderRule{knownFolder(FOLDERID_ProgramFiles), sysfiles::canWriteIn, dataHome, '\\', true};
}
