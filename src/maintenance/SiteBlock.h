#pragma once
// Switching the site off and on through its 'ISWORK' parameter.
#include "ops/OperationRunner.h"
#include "settings/SettingsStore.h"

// Block: the site goes offline, its offline message is copied to the settings store,
// and the window switches to the Blocked layout.
RunOutcome Command2_Click(OperationRunner& runner, const SettingsStore& settings);

// Unblock: the site works again and the window returns to the Ready layout.
RunOutcome Command3_Click(OperationRunner& runner);
