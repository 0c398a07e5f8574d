// tk_settings: reads and writes the tool's settings store from the command line, through the same
// code the window uses (the demo fills the window's fields with it).
//   tk_settings get KEY
//   tk_settings set KEY VALUE
#include "common/TextFile.h"
#include "settings/SettingsStore.h"

#include <cstring>
#include <iostream>

int main(int argc, char* argv[])
{
    const SettingsStore store = SettingsStore::forCurrentUser();
    try {
        if (argc == 3 && std::strcmp(argv[1], "get") == 0) {
            std::cout << store.RegLoad(argv[2]) << "\n";
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "set") == 0) {
            store.RegSave(argv[2], argv[3]);
            return 0;
        }
    } catch (const SystemError& e) {
        std::cerr << "tk_settings: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "usage: tk_settings get KEY | tk_settings set KEY VALUE\n";
    return 64;
}
