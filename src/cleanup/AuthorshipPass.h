#pragma once
// The last pass of the cleanup: records whose author, moderator or editor no longer exists are
// handed to the first user of the site (the one with the smallest code) instead of being deleted.
#include "cleanup/PassEngine.h"
#include "ops/CodeColumns.h"
#include "ops/OperationRunner.h"

#include <vector>

#include <cstdint>
#include <string_view>

namespace cleanup
{

inline constexpr std::string_view kAuthorshipTitle =
    "Заменяем авторство несуществующих пользователей на пользователя №1";
inline constexpr std::string_view kAuthorshipLabel =
    "Заменено авторство несуществующих пользователей на пользователя №1: ";

// The tables' CODE and author columns the pass reads as codes.
std::vector<CodeColumn> authorshipColumns();

// Returns the number of values replaced over all six tables.
std::uint64_t runAuthorshipPass(PassContext& run);

} // namespace cleanup
