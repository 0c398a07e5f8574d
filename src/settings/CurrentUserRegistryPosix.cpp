// Without a system registry the current user's values live in one file:
// $XDG_CONFIG_HOME (default ~/.config) /Farrowind/HKEY_CURRENT_USER.reg
#include "settings/RegistryBackend.h"
#include "settings/SettingsStore.h"

#include <cstdlib>

std::string currentUserRegistryFile()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".config";
    return base + "/" + std::string(kVendor) + "/HKEY_CURRENT_USER.reg";
}

std::shared_ptr<const RegistryBackend> currentUserRegistry()
{
    return fileRegistry(currentUserRegistryFile());
}
