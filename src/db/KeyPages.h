#pragma once
// Long row lists read a page at a time in ascending order of the table's primary key CODE. A list of
// any length then costs one page of memory (the driver keeps a whole result in memory until it is
// closed), and each page starts after the last code of the one before, so rows deleted meanwhile
// neither shift nor hide any other.
#include "db/Connection.h"

#include <cstddef>
#include <functional>
#include <string>

namespace db
{

// Rows per page: large enough that the statements' own cost is small, small enough that a page of
// a few columns stays a few megabytes.
inline constexpr std::size_t kPageRows = 50000;

struct PagedList {
    std::string columns; // the select list; it names CODE
    std::string table;
    std::string condition; // without "where"; empty for every row
};

// Calls use(page) for every page, in order of CODE, until a page comes back short. The pages of
// forEachPage hold whole numbers only; those of forEachTextPage may hold text as well.
void forEachPage(Connection& c, const PagedList& list, std::size_t pageRows,
                 const std::function<void(const IntRows&)>& use);
void forEachTextPage(Connection& c, const PagedList& list, std::size_t pageRows,
                     const std::function<void(const Rows&)>& use);

// Starts reading a page (its statement given) on another session of the same run and returns what
// waits for it and hands it over; nothing where it cannot start there.
using PageAhead = std::function<std::function<IntRows()>(const std::string& sql)>;
// As forEachPage, but the page after each one is read through ahead while use works on the one
// before it (on c where ahead is empty or gives nothing). For walks whose use changes no row after
// the last one of the page it is given: the next page is then the same whenever it is read.
void forEachPageAhead(Connection& c, const PagedList& list, std::size_t pageRows, const PageAhead& ahead,
                      const std::function<void(const IntRows&)>& use);

} // namespace db
