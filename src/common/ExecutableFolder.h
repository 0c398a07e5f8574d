#pragma once
#include <functional>
#include <string>

// The folder of the running executable, ending in exactly one '/'.
std::string executableFolder();

// Where the tool writes its files (report, screenshot lists, undo archives), ending in one '/'.
// A copy run from a folder of the user's own (a build tree, a portable copy) writes beside itself;
// one installed under the install prefix, or in a folder the user cannot write, writes to
// dataHome/tk_corvane/ instead, where dataHome is $XDG_DATA_HOME, else $HOME/.local/share.
struct FilesFolderRule {
    std::string installPrefix;                        // e.g. "/usr"; empty: no prefix
    std::function<bool(const std::string&)> writable; // may the user create files in the folder
    std::string dataHome;                             // the user's data folder
};
std::string chooseFilesFolder(const std::string& exeFolder, const FilesFolderRule& rule);

// The rule of this process: the build's install prefix, access(2), the environment.
FilesFolderRule currentFilesFolderRule();

// Creates the folder and its parents (mode 0700 for new ones); false when it cannot be created.
bool makeFolders(const std::string& folder);
