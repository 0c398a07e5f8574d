#pragma once
// The system's ODBC headers: Windows' need its base types declared first.
#ifdef _WIN32
#include <windows.h>
#endif
// after the base types
#include <sql.h>
#include <sqlext.h>
