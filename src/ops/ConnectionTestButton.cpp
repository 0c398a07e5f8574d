#include "ops/ConnectionTestButton.h"

std::string tlsNote(const db::SessionTls& tls)
{
    if (!tls.encrypted())
        return "\nСоединение не зашифровано.";
    return "\nСоединение зашифровано: " + tls.protocol + ", " + tls.cipher + "; " +
           (tls.verified ? "сертификат сервера проверен." : "подлинность сервера не проверялась.");
}

RunOutcome Command1_Click(OperationRunner& runner)
{
    return runner.run(
        [&runner](db::Connection& c) {
            return Report{MessageIcon::Information,
                          "Соединение установлено" +
                              tlsNote(db::sessionTls(c, runner.window().connectionFields().tls))};
        },
        Changes::Nothing);
}
