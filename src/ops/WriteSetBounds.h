#pragma once
// How many rows one statement of the tool may change, each statement being a transaction of its own:
// on a node of a Galera cluster the cluster refuses a write set of more than wsrep_max_ws_rows rows or
// wsrep_max_ws_size bytes; elsewhere nothing bounds it.
#include "ops/ServerFacts.h"

#include <cstddef>
#include <cstdint>

// What a changed row is taken to weigh in a write set, against wsrep_max_ws_size.
inline constexpr std::uint64_t kWriteSetRowBytes = 16 * 1024;

// wanted, or less where the server bounds a transaction.
std::size_t rowsPerTransaction(const ServerFacts& facts, std::size_t wanted);
