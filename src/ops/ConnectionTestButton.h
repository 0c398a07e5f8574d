#pragma once
#include "ops/OperationRunner.h"

// The line after "Соединение установлено": whether the session is encrypted, and how.
std::string tlsNote(const db::SessionTls& tls);

// The connection test button: open, close, and say so.
RunOutcome Command1_Click(OperationRunner& runner);
