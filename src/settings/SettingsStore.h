#pragma once
// Small text values kept between runs under registry-style paths below
// HKEY_CURRENT_USER\Software\Farrowind\<product>\: in the registry on Windows; elsewhere in one
// per-user file, read afresh by every call and replaced atomically under a lock by every write.
#include "common/ProductInfo.h"
#include "settings/RegistryBackend.h"
#include "settings/StoredValues.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// "HKEY_CURRENT_USER\Software\<vendor>\"
inline std::string vendorPrefix()
{
    return "HKEY_CURRENT_USER\\Software\\" + std::string(kVendor) + "\\";
}

class SettingsStore
{
  public:
    // The store of the current user: the registry on Windows, elsewhere
    // $XDG_CONFIG_HOME (default ~/.config) /Farrowind/HKEY_CURRENT_USER.reg
    static SettingsStore forCurrentUser();
    // A store kept in the named file, on any platform.
    explicit SettingsStore(std::string filePath, std::string productName = std::string(kProductName));

    // Mode 1 reads into value (empty when there is nothing to read), 2 writes value, 3 deletes;
    // any other mode does nothing. A failed write throws SystemError; reads and deletes never fail.
    void RegAccess(std::int16_t mode, std::string key, std::string& value) const;
    std::string RegLoad(const std::string& key) const;
    void RegSave(const std::string& key, const std::string& value) const;
    // A value of the tool's own: what is stored, or its fallback when nothing (or an empty text) is.
    std::string load(Stored which) const;
    void save(Stored which, const std::string& value) const { RegSave(std::string(stored(which).key), value); }

    // The file the values are kept in; empty where it is the system's registry.
    const std::string& filePath() const { return m_file; }

  private:
    SettingsStore(std::shared_ptr<const RegistryBackend> backend, std::string filePath, std::string productName);
    std::shared_ptr<const RegistryBackend> m_backend;
    std::string m_file;
    std::string m_product;
};
