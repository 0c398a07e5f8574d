#pragma once
// What the tool needs of the system's files and of its own process, in one small layer with a file
// per platform. Paths are UTF-8 here and become the system's own form only inside that file.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sysfiles
{

// A UTF-8 path as the standard library's file classes take it on every platform.
inline std::filesystem::path pathOf(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The separator of folder names: '\\' on Windows, '/' elsewhere.
char pathSeparator();

// The number of the last failed system call of this thread (errno, or the Windows error code), and
// its description in UTF-8.
int lastError();
std::string errorText(int number);

// A file written through the system's own calls, so that what was written can be made durable and
// cut back to an earlier length.
class WrittenFile
{
  public:
    enum class Mode {
        CreateNew, // fails with alreadyExists when the name is taken
        Append,    // created when missing
        Replace,   // created anew, emptied when it was there
    };
    // The file, or nothing with lastError() telling why.
    static std::optional<WrittenFile> open(const std::string& path, Mode mode);
    // Whether the last failed open found the name taken.
    static bool alreadyExists(int error);

    WrittenFile(WrittenFile&&) noexcept;
    WrittenFile& operator=(WrittenFile&&) noexcept;
    ~WrittenFile();

    // Each returns false with lastError() telling why.
    bool write(std::string_view bytes);
    bool sync();                            // written data and size survive a crash
    std::optional<std::int64_t> position(); // the current length written
    bool truncate(std::int64_t length);     // cuts the file back and goes on writing at its end
    bool close();

  private:
    explicit WrittenFile(std::intptr_t handle);
    std::intptr_t m_handle;
};

// Makes the folder's entries (a file just created or renamed) survive a crash; false with lastError().
bool syncFolder(const std::string& folder);
// The names of the folder's entries (no "." or ".."); empty when it cannot be read.
std::vector<std::string> namesIn(const std::string& folder);
// Puts `from` in place of `to` in one step, replacing what was there.
bool replaceFile(const std::string& from, const std::string& to);
bool removeFile(const std::string& path);
// Creates one folder, only for this user; true when it is there afterwards.
bool makeFolder(const std::string& folder);
// May this user create files in the folder?
bool canWriteIn(const std::string& folder);
// Why an existing file could not be written: 0 when it could, or when there is no such file.
int overwriteError(const std::string& path);

// An exclusive lock on a file of its own, held while the object lives; waits for another holder.
class FileLock
{
  public:
    // Throws SystemError when the lock file cannot be opened.
    explicit FileLock(const std::string& lockPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    std::intptr_t m_handle;
};

// The local time of a moment.
std::tm localTime(std::time_t when);

// This process: its executable's full path, its number and the machine's name.
std::string executablePath();
long processId();
std::string hostName();
// Ends this process at once with status: no destructor and no library's shutdown code runs (a
// library's may wait for a lock that a thread stopped with the process still held).
[[noreturn]] void endProcessNow(int status);

} // namespace sysfiles
