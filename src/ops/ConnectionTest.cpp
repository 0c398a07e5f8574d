#include "ops/ConnectionTest.h"

RunOutcome Command1_Click(OperationRunner& runner)
{
    return runner.run(
        [](db::Connection&) {
            return Report{MessageIcon::Information, "Соединение установлено"};
        },
        Changes::Nothing);
}
