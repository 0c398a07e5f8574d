// Without the Windows dialogs, Qt's stand-ins serve.
#include "dialogs/DesktopDialogs.h"
#include "dialogs/QtDialogPlatform.h"

dialogs::DialogPlatform& dialogs::desktopDialogs()
{
    return QtDialogPlatform::instance();
}
