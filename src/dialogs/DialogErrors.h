#pragma once
// Errors that CdlgEx raises to its caller. Each carries the error number a caller of the
// object's dual interface would have seen.
#include <exception>
#include <stdexcept>
#include <string>

namespace dialogs
{

// A standard dialog ended without a choice while CancelError was true. The number is the
// dialog function's result, which is 0 then; the error has no source, description or help.
class DialogCancelError : public std::exception
{
  public:
    explicit DialogCancelError(int number) : m_number(number) {}
    int number() const noexcept { return m_number; }
    const char* what() const noexcept override { return ""; }

  private:
    int m_number;
};

// A runtime error with its number and description (6 overflow, 9 subscript out of range,
// 5 invalid argument, 53 file not found).
class RuntimeError : public std::runtime_error
{
  public:
    RuntimeError(int number, const std::string& description) : std::runtime_error(description), m_number(number) {}
    int number() const noexcept { return m_number; }

  private:
    int m_number;
};

inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrSubscriptOutOfRange = 9;
inline constexpr int kErrFileNotFound = 53;

// A failure the platform reports with a description (e.g. reading the current printer
// when none is installed).
class PlatformError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

} // namespace dialogs
