#include "db/ConnectionTest.h"

RunOutcome Command1_Click(OperationRunner& runner)
{
    return runner.run([&](db::Connection& c) {
        c.close();
        runner.window().showMessage(MessageIcon::Information, "Соединение установлено");
    });
}
