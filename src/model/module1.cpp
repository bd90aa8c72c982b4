#include "model/module1.h"

void Module1::setDefaultMode(const QString &mode)
{
    if (defaultMode == mode)
        return;
    defaultMode = mode;
    emit notifier.defaultModeChanged(mode);
}

void Module1::chooseDefaultDest(const QString &dest)
{
    defaultDest = dest;
    emit notifier.defaultDestChosen(dest);
}
