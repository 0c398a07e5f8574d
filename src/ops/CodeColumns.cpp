#include "ops/CodeColumns.h"

#include "ops/RunErrors.h"

#include <algorithm>
#include <string>

void requireWholeNumberColumns(db::Connection& c, const std::vector<CodeColumn>& columns)
{
    std::string pairs;
    for (const CodeColumn& col : columns)
        pairs += std::string(pairs.empty() ? "" : ",") + "('" + std::string(col.table) + "','" +
                 std::string(col.column) + "')";
    const db::Rows rows = c.query("select TABLE_NAME as t, COLUMN_NAME as c, DATA_TYPE as d from "
                                  "information_schema.COLUMNS where TABLE_SCHEMA=DATABASE() and "
                                  "(TABLE_NAME, COLUMN_NAME) in (" +
                                  pairs + ")");
    static const std::vector<std::string> whole{"tinyint", "smallint", "mediumint", "int", "integer", "bigint"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string type = rows[i].text("d").value_or("");
        if (std::find(whole.begin(), whole.end(), type) == whole.end())
            throw NothingChanged("Столбец " + rows[i].text("t").value_or("") + "." + rows[i].text("c").value_or("") +
                                 " имеет тип " + type +
                                 ", а не целое число: в нём не могут храниться коды записей. "
                                 "Операция не начата.");
    }
}
