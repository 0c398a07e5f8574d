// tk_settings: reads and writes the tool's settings store from the command line, through the same
// code the window uses (the demo fills the window's fields with it).
//   tk_settings get KEY
//   tk_settings set KEY VALUE
#include "common/Terminal.h"
#include "common/TextFile.h"
#include "settings/SettingsStore.h"

#include <clocale>

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    const SettingsStore store = SettingsStore::forCurrentUser();
    const std::vector<std::string> args = terminal::arguments(argc, argv);
    try {
        if (args.size() == 3 && args[1] == "get") {
            terminal::write(stdout, store.RegLoad(args[2]) + "\n");
            return 0;
        }
        if (args.size() == 4 && args[1] == "set") {
            store.RegSave(args[2], args[3]);
            return 0;
        }
    } catch (const SystemError& e) {
        terminal::write(stderr, std::string("tk_settings: ") + e.what() + "\n");
        return 1;
    }
    terminal::write(stderr, "usage: tk_settings get KEY | tk_settings set KEY VALUE\n");
    return 64;
}
