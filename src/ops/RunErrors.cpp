#include "ops/RunErrors.h"

#include "common/TextFile.h"
#include "db/DbError.h"

std::string describeError(const std::exception& e)
{
    std::string number;
    if (const auto* d = dynamic_cast<const db::DbError*>(&e))
        number = std::to_string(d->nativeCode) + " (SQLSTATE " + d->sqlState + ")";
    else if (const auto* s = dynamic_cast<const SystemError*>(&e))
        number = std::to_string(s->number);
    return (number.empty() ? "Ошибка: " : "Ошибка " + number + ": ") + e.what();
}
