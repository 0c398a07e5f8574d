// The system's files and this process on Windows: wide paths, handles, the system's messages.
#include "common/SystemFiles.h"

#include "common/TextFile.h"
#include "common/WideText.h"

#include <windows.h>

#include <cstdlib>

#include <utility>

namespace sysfiles
{
namespace
{

HANDLE handleOf(std::intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}

const std::intptr_t kNoHandle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
} // namespace

char pathSeparator()
{
    return '\\';
}

int lastError()
{
    return static_cast<int>(::GetLastError());
}

std::string errorText(int number)
{
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, static_cast<DWORD>(number), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(number);
    if (text)
        ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' || message.back() == L' '))
        message.pop_back();
    return utf8Of(message);
}

std::optional<WrittenFile> WrittenFile::open(const std::string& path, Mode mode)
{
    const DWORD disposition = mode == Mode::CreateNew ? CREATE_NEW : mode == Mode::Append ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h = ::CreateFileW(wideOf(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return std::nullopt;
    if (mode == Mode::Append && ::SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(h);
        ::SetLastError(err);
        return std::nullopt;
    }
    return WrittenFile(reinterpret_cast<std::intptr_t>(h));
}

bool WrittenFile::alreadyExists(int error)
{
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

WrittenFile::WrittenFile(std::intptr_t handle) : m_handle(handle) {}
WrittenFile::WrittenFile(WrittenFile&& other) noexcept : m_handle(std::exchange(other.m_handle, kNoHandle)) {}
WrittenFile& WrittenFile::operator=(WrittenFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kNoHandle);
    }
    return *this;
}
WrittenFile::~WrittenFile()
{
    close();
}

bool WrittenFile::write(std::string_view bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handleOf(m_handle), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

bool WrittenFile::sync()
{
    return ::FlushFileBuffers(handleOf(m_handle)) != 0;
}

std::optional<std::int64_t> WrittenFile::position()
{
    LARGE_INTEGER zero{}, at{};
    if (!::SetFilePointerEx(handleOf(m_handle), zero, &at, FILE_CURRENT))
        return std::nullopt;
    return at.QuadPart;
}

bool WrittenFile::truncate(std::int64_t length)
{
    LARGE_INTEGER to{};
    to.QuadPart = length;
    return ::SetFilePointerEx(handleOf(m_handle), to, nullptr, FILE_BEGIN) && ::SetEndOfFile(handleOf(m_handle));
}

bool WrittenFile::close()
{
    if (m_handle == kNoHandle)
        return true;
    return ::CloseHandle(handleOf(std::exchange(m_handle, kNoHandle))) != 0;
}

bool syncFolder(const std::string&)
{
    // NTFS commits a file's directory entry with its own metadata; a folder cannot be flushed.
    return true;
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    std::wstring pattern = wideOf(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/')
        pattern += L'\\';
    HANDLE h = ::FindFirstFileW((pattern + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = utf8Of(found.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

bool replaceFile(const std::string& from, const std::string& to)
{
    return ::MoveFileExW(wideOf(from).c_str(), wideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool removeFile(const std::string& path)
{
    return ::DeleteFileW(wideOf(path).c_str()) != 0;
}

bool makeFolder(const std::string& folder)
{
    return ::CreateDirectoryW(wideOf(folder).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool canWriteIn(const std::string& folder)
{
    // Asking is the only sure way: a folder's rights and its virtualisation decide, not its attributes.
    std::string probe = folder;
    if (!probe.empty() && probe.back() != '\\' && probe.back() != '/')
        probe += '\\';
    probe += ".tk_corvane-write-probe-" + std::to_string(processId());
    HANDLE h = ::CreateFileW(wideOf(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

int overwriteError(const std::string& path)
{
    HANDLE h =
        ::CreateFileW(wideOf(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return 0;
    }
    const DWORD err = ::GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? 0 : static_cast<int>(err);
}

FileLock::FileLock(const std::string& lockPath)
{
    HANDLE h = ::CreateFileW(wideOf(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const int err = lastError();
        throw SystemError(err, "Не удалось открыть файл " + lockPath + ": " + errorText(err));
    }
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        const int err = lastError();
        ::CloseHandle(h);
        throw SystemError(err, "Не удалось заблокировать файл " + lockPath + ": " + errorText(err));
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
}

FileLock::~FileLock()
{
    ::CloseHandle(handleOf(m_handle));
}

std::tm localTime(std::time_t when)
{
    std::tm tm{};
    ::localtime_s(&tm, &when);
    return tm;
}

std::string executablePath()
{
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            return utf8Of(buf);
        }
        buf.resize(buf.size() * 2);
    }
}

long processId()
{
    return static_cast<long>(::GetCurrentProcessId());
}

void endProcessNow(int status)
{
    // ExitProcess (and _exit, which calls it) stops the other threads and then runs every DLL's
    // detach code, where a driver may wait for ever for a lock a stopped thread held.
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
    ::_exit(status);
}

std::string hostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size))
        return {};
    return utf8Of(std::wstring_view(name, size));
}

} // namespace sysfiles
