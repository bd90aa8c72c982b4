#pragma once

#include "dialogs/directory_pickers.h"
#include "platform/disk_space_queries.h"
#include "support/test_app.h"

#include <QDir>
#include <QPushButton>
#include <QtTest>

// The titles, prompts and folder helpers the directory picker tests share.
inline const QString kKorvan = QStringLiteral("Korvan");
inline const QString kAskTitle = QStringLiteral("Korvan想问？");

inline QString newFolderPrompt(const QString &dir)
{
    return QStringLiteral("当前文件为：\r\n") + dir + QStringLiteral("\r\n新建文件夹名字为：");
}

inline void makeDirs(const QString &base, const QStringList &names)
{
    for (const QString &n : names)
        QVERIFY(QDir(base).mkpath(n));
}

// Picks dir in a Form2 shown by the add-task dialog's directory button.
inline void expectDirectoryChosen(ScriptedDialogs &dialogs, const QString &dir)
{
    dialogs.expectModal([dir](QDialog *d) {
        auto *picker = qobject_cast<Form2 *>(d);
        if (!picker)
            return int(QDialog::Rejected);
        picker->setCurrentPath(dir);
        picker->Command2->click();
        return picker->result();
    });
}

// Waits until the volumes the picker asked have answered (or timed out).
inline void settle(DirectoryPicker &picker)
{
    QTRY_COMPARE(picker.volumeProbe ? picker.volumeProbe->pending() : 0, 0);
}
