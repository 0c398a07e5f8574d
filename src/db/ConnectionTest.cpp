#include "db/ConnectionTest.h"

void Command1_Click(OperationRunner& runner)
{
    runner.run([&](db::Connection& c) {
        c.close();
        runner.window().showMessage(MessageIcon::Information, "Соединение установлено");
    });
}
