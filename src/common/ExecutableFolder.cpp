#include "common/ExecutableFolder.h"

#include "common/ProductInfo.h"
#include "common/SystemFiles.h"

#include <algorithm>

namespace
{
bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string folded(std::string s, bool caseless)
{
    if (caseless)
        std::transform(s.begin(), s.end(), s.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return s;
}

bool isUnder(const std::string& folder, std::string prefix, const FilesFolderRule& rule)
{
    if (prefix.empty())
        return false;
    if (!isSeparator(prefix.back()))
        prefix += rule.separator;
    return prefix == "/" || folded(folder, rule.caseless).starts_with(folded(prefix, rule.caseless));
}
} // namespace

std::string executableFolder()
{
    std::string path = sysfiles::executablePath();
    const auto cut = path.find_last_of("/\\");
    if (cut == std::string::npos)
        return std::string(".") + sysfiles::pathSeparator();
    path.erase(cut + 1);
    while (path.size() > 1 && isSeparator(path.back()) && isSeparator(path[path.size() - 2]))
        path.pop_back();
    return path;
}

std::string chooseFilesFolder(const std::string& exeFolder, const FilesFolderRule& rule)
{
    if (!isUnder(exeFolder, rule.installPrefix, rule) && rule.writable(exeFolder))
        return exeFolder;
    std::string folder = rule.dataHome;
    while (folder.size() > 1 && isSeparator(folder.back()))
        folder.pop_back();
    return folder + rule.separator + std::string(kProductName) + rule.separator;
}

bool makeFolders(const std::string& folder)
{
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || isSeparator(folder[pos])) {
            const std::string part = folder.substr(0, pos);
            // A drive ("C:") or a network share's first parts need no creating.
            if (part.ends_with(':') || part.find_first_not_of("/\\") == std::string::npos)
                continue;
            // Only the folder itself must be made: a part above it may be a share's name.
            if (!sysfiles::makeFolder(part) && pos == folder.size())
                return false;
        }
    }
    return true;
}
