#pragma once
// Files the tool writes for the administrator (report, screenshot list) hold cp1251 bytes.
#include "common/SystemFiles.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The number and text of a failed file or settings write, carried up to the operation's error box.
struct SystemError : std::runtime_error {
    SystemError(long number, const std::string& what) : std::runtime_error(what), number(number) {}
    long number;
};

// The system's description of an error number, in UTF-8 whatever the locale's encoding.
std::string systemErrorText(int number);

// Makes a new entry of the folder (a file just created) survive a crash. Throws SystemError.
void syncFolder(const std::string& folder);

// A cp1251 text file created anew; each write converts the tool's UTF-8 text at this boundary.
// Throws SystemError when the file cannot be created or written.
class Cp1251File
{
  public:
    explicit Cp1251File(std::string path);
    Cp1251File(Cp1251File&&) = default;
    Cp1251File& operator=(Cp1251File&&) = default;
    // What was written and not yet closed still reaches the file.
    ~Cp1251File();
    void write(std::string_view utf8);
    void close();
    const std::string& path() const { return m_path; }

  private:
    static constexpr std::size_t kFlushAt = 64 * 1024;
    void flush();
    std::string m_path;
    std::optional<sysfiles::WrittenFile> m_out;
    std::string m_pending;
};

// Writes a whole cp1251 file at once (created anew, replacing what was there).
void writeCp1251File(const std::string& path, std::string_view utf8);
