// The current user's values in the Windows registry itself, as string values.
#include "common/TextFile.h"
#include "common/WideText.h"
#include "settings/RegistryBackend.h"

#include <windows.h>

#include <array>
#include <utility>

namespace
{

// "HKEY_CURRENT_USER\Software\X\name": the hive, the key below it and the value's name.
struct RegistryPath {
    HKEY hive = nullptr;
    std::wstring key;
    std::wstring name;
};

std::optional<RegistryPath> split(const std::string& fullPath)
{
    static const std::array<std::pair<std::string_view, HKEY>, 5> kHives{{
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    }};
    const std::size_t first = fullPath.find('\\');
    const std::string hiveName = fullPath.substr(0, first);
    RegistryPath p;
    for (const auto& [name, hive] : kHives)
        if (hiveName == name)
            p.hive = hive;
    if (!p.hive || first == std::string::npos)
        return std::nullopt;
    const std::string rest = fullPath.substr(first + 1);
    const std::size_t last = rest.rfind('\\');
    p.key = wideOf(last == std::string::npos ? std::string() : rest.substr(0, last));
    p.name = wideOf(last == std::string::npos ? rest : rest.substr(last + 1));
    return p;
}

class WindowsRegistry : public RegistryBackend
{
  public:
    std::optional<std::string> read(const std::string& fullPath) const override
    {
        const auto p = split(fullPath);
        if (!p)
            return std::nullopt;
        DWORD type = 0, size = 0;
        const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_RT_REG_DWORD | RRF_RT_REG_QWORD | RRF_NOEXPAND;
        if (::RegGetValueW(p->hive, p->key.c_str(), p->name.c_str(), flags, &type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (::RegGetValueW(p->hive, p->key.c_str(), p->name.c_str(), flags, &type, buffer.data(), &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        // Numbers read back as their decimal text.
        if (type == REG_DWORD)
            return std::to_string(*reinterpret_cast<const DWORD*>(buffer.data()));
        if (type == REG_QWORD)
            return std::to_string(*reinterpret_cast<const unsigned long long*>(buffer.data()));
        buffer.resize(size / sizeof(wchar_t));
        while (!buffer.empty() && buffer.back() == L'\0')
            buffer.pop_back();
        return utf8Of(buffer);
    }

    void write(const std::string& fullPath, const std::string& value) const override
    {
        const auto p = split(fullPath);
        if (!p)
            throw SystemError(ERROR_INVALID_PARAMETER, "Не удалось сохранить настройку в " + fullPath + ": " +
                                                           systemErrorText(ERROR_INVALID_PARAMETER));
        HKEY key = nullptr;
        LSTATUS rc = ::RegCreateKeyExW(p->hive, p->key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (rc == ERROR_SUCCESS) {
            const std::wstring text = wideOf(value);
            rc = ::RegSetValueExW(key, p->name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
            ::RegCloseKey(key);
        }
        if (rc != ERROR_SUCCESS)
            throw SystemError(rc, "Не удалось сохранить настройку в " + fullPath + ": " + systemErrorText(rc));
    }

    void remove(const std::string& fullPath) const noexcept override
    {
        try {
            if (const auto p = split(fullPath))
                ::RegDeleteKeyValueW(p->hive, p->key.c_str(), p->name.c_str());
        } catch (...) {
            // deleting is best effort
        }
    }
};
} // namespace

std::string currentUserRegistryFile()
{
    return {};
}

std::shared_ptr<const RegistryBackend> currentUserRegistry()
{
    return std::make_shared<WindowsRegistry>();
}
