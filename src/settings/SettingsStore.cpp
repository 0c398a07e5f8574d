#include "settings/SettingsStore.h"

namespace
{

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

void replaceAll(std::string& s, const std::string& what, const std::string& with)
{
    for (std::size_t pos = 0; (pos = s.find(what, pos)) != std::string::npos;) {
        s.replace(pos, what.size(), with);
        pos += with.size();
    }
}

} // namespace

SettingsStore SettingsStore::forCurrentUser()
{
    return SettingsStore(currentUserRegistry(), currentUserRegistryFile(), std::string(kProductName));
}

SettingsStore::SettingsStore(std::string filePath, std::string productName)
    : SettingsStore(fileRegistry(filePath), filePath, std::move(productName))
{
}

SettingsStore::SettingsStore(std::shared_ptr<const RegistryBackend> backend, std::string filePath,
                             std::string productName)
    : m_backend(std::move(backend)), m_file(std::move(filePath)), m_product(std::move(productName))
{
}

void SettingsStore::RegAccess(std::int16_t mode, std::string key, std::string& value) const
{
    // One backslash at most comes off each end, so "Temp\Path\" still names the value Path.
    if (!key.empty() && key.front() == '\\')
        key.erase(0, 1);
    if (!key.empty() && key.back() == '\\')
        key.pop_back();
    if (startsWith(key, "$$$$")) {
        replaceAll(key, "$$$$", "");
        key = vendorPrefix() + key;
    }
    const bool full = startsWith(key, "HKEY");
    const std::string path = full ? key : vendorPrefix() + m_product + "\\" + key;

    switch (mode) {
    case 1:
        value.clear();
        if (auto v = m_backend->read(path))
            value = *v;
        break;
    case 2:
        m_backend->write(path, value);
        break;
    case 3:
        if (full || !startsWith(key, "XX"))
            m_backend->remove(path);
        else
            m_backend->remove(vendorPrefix() + key);
        break;
    default:
        break;
    }
}

std::string SettingsStore::RegLoad(const std::string& key) const
{
    std::string value;
    RegAccess(1, key, value);
    return value;
}

void SettingsStore::RegSave(const std::string& key, const std::string& value) const
{
    std::string v = value;
    RegAccess(2, key, v);
}

std::string SettingsStore::load(Stored which) const
{
    const std::string value = RegLoad(std::string(stored(which).key));
    return value.empty() ? std::string(stored(which).fallback) : value;
}
