#pragma once
#include <stdexcept>
#include <string>

namespace db
{

// A failed ODBC call: SQLSTATE, the driver's native error number and the driver's text.
struct DbError : std::runtime_error {
    DbError(const std::string& text, std::string state, long native)
        : std::runtime_error(text), sqlState(std::move(state)), nativeCode(native)
    {
    }
    std::string sqlState;
    long nativeCode = 0;
};

} // namespace db
