// The registry kept in one file, for platforms without one and for tests.
#include "settings/RegFile.h"
#include "settings/RegistryBackend.h"

namespace
{
class FileRegistry : public RegistryBackend
{
  public:
    explicit FileRegistry(std::string file) : m_file(std::move(file)) {}
    std::optional<std::string> read(const std::string& fullPath) const override
    {
        return RegFile::read(m_file, fullPath);
    }
    void write(const std::string& fullPath, const std::string& value) const override
    {
        RegFile::write(m_file, fullPath, value);
    }
    void remove(const std::string& fullPath) const noexcept override { RegFile::remove(m_file, fullPath); }

  private:
    std::string m_file;
};
} // namespace

std::shared_ptr<const RegistryBackend> fileRegistry(const std::string& file)
{
    return std::make_shared<FileRegistry>(file);
}
