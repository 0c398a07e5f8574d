#pragma once
#include <functional>
#include <string>

// The folder of the running executable, ending in exactly one separator ('\' on Windows, '/' elsewhere).
std::string executableFolder();

// Where the tool writes its files (report, screenshot lists, undo archives), ending in one separator.
// A copy run from a folder of the user's own (a build tree, a portable copy) writes beside itself;
// one installed under the install prefix (Program Files on Windows), or in a folder the user cannot
// write, writes to dataHome/tk_corvane/ instead: $XDG_DATA_HOME, else $HOME/.local/share, or the
// user's local application data folder on Windows.
struct FilesFolderRule {
    std::string installPrefix;                        // e.g. "/usr"; empty: no prefix
    std::function<bool(const std::string&)> writable; // may the user create files in the folder
    std::string dataHome;                             // the user's data folder
    char separator = '/';                             // the system's folder separator
    bool caseless = false;                            // whether folder names ignore case
};
std::string chooseFilesFolder(const std::string& exeFolder, const FilesFolderRule& rule);

// The rule of this process: the build's install prefix, the system's answer, the environment.
FilesFolderRule currentFilesFolderRule();

// Creates the folder and its parents (only for this user); false when it cannot be created.
bool makeFolders(const std::string& folder);
