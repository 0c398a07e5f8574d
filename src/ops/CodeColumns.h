#pragma once
// The columns an operation reads as record codes, checked to hold whole numbers before it starts.
#include "db/Connection.h"

#include <string_view>
#include <vector>

// A table's column that an operation reads as record codes.
struct CodeColumn {
    std::string_view table, column;
};
// Throws NothingChanged naming the first column of the list whose type is not a whole number (a
// VARCHAR holding '201abc' would stop the operation half-way, or be read as another code).
void requireWholeNumberColumns(db::Connection& c, const std::vector<CodeColumn>& columns);
