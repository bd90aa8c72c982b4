#include "model/module1.h"

void Module1::setDefaultMode(const QString &mode)
{
    if (defaultMode == mode)
        return;
    defaultMode = mode;
    emit notifier.defaultModeChanged(mode);
}
