// On Windows, the system's own common and shell dialogs.
#include "dialogs/DesktopDialogs.h"
#include "dialogs/WindowsDialogPlatform.h"

dialogs::DialogPlatform& dialogs::desktopDialogs()
{
    return WindowsDialogPlatform::instance();
}
