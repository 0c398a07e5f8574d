#pragma once
// The desktop's dialogs of this system, which CdlgEx uses unless it is given others.
#include "dialogs/DialogPlatform.h"

namespace dialogs
{
DialogPlatform& desktopDialogs();
}
