#pragma once
// Where the settings store keeps its values: the current user's registry on Windows, a file in the
// registry's export layout elsewhere (and wherever a test names one). Paths are full registry
// paths, "HKEY_CURRENT_USER\Software\...\name"; values are text.
#include <memory>
#include <optional>
#include <string>

class RegistryBackend
{
  public:
    virtual ~RegistryBackend() = default;
    // Nothing when the value (or its key) is missing or holds nothing text can show.
    virtual std::optional<std::string> read(const std::string& fullPath) const = 0;
    // Creates missing keys and writes a string value; throws SystemError when it cannot.
    virtual void write(const std::string& fullPath, const std::string& value) const = 0;
    // Deleting a value that is not there does nothing; failures are ignored.
    virtual void remove(const std::string& fullPath) const noexcept = 0;
};

// The values kept in one file (RegFile).
std::shared_ptr<const RegistryBackend> fileRegistry(const std::string& file);

// The current user's store on this platform, and the file it is kept in (empty where it is the
// system's registry).
std::shared_ptr<const RegistryBackend> currentUserRegistry();
std::string currentUserRegistryFile();
