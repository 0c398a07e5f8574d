#pragma once
#include "ops/OperationRunner.h"

// The connection test button: open, close, and say so.
RunOutcome Command1_Click(OperationRunner& runner);
