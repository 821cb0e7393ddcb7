#include "ui/UiResources.h"

#include <QtGlobal>

// Outside any namespace: the registration function rcc generates for sorvane.qrc lives in
// the global one.
static bool RegisterResources()
{
    Q_INIT_RESOURCE(sorvane);
    return true;
}

void EnsureUiResources()
{
    static const bool registered = RegisterResources();
    (void)registered;
}
