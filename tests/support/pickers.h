#pragma once

#include "dialogs/directory_pickers.h"
#include "support/scripted_dialogs.h"

#include <QPushButton>

// Scripts the next modal window as the destination picker, with the user
// choosing dir and pressing "确定".
inline void expectDestinationChosen(ScriptedDialogs &dialogs, const QString &dir)
{
    dialogs.expectModal([dir](QDialog *d) {
        auto *picker = qobject_cast<Form5 *>(d);
        if (!picker)
            return int(QDialog::Rejected);
        picker->setCurrentPath(dir);
        picker->Command3->click();
        return picker->result();
    });
}

// Scripts the next modal window as the destination picker, cancelled.
inline void expectDestinationCancelled(ScriptedDialogs &dialogs)
{
    dialogs.expectModal([](QDialog *d) {
        d->reject();
        return int(QDialog::Rejected);
    });
}
