#include "platform/qt/qt_user_dialogs.h"
#include "platform/qt/settings_off_disk.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Nothing the program shows leaves settings behind for the next run.
class TestSettingsOffDisk : public QObject
{
    Q_OBJECT

    QString m_configDir;

    // Every file below the user's settings folder.
    QStringList settingsFiles() const
    {
        QStringList files;
        const QDir dir(m_configDir);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
            files << name;
        for (const QString &sub : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
            for (const QString &name : QDir(dir.filePath(sub)).entryList(QDir::Files | QDir::Hidden))
                files << sub + u'/' + name;
        return files;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY(QDir(m_configDir).removeRecursively());
        QVERIFY(QDir().mkpath(m_configDir));
        keepQtSettingsOffDisk();
    }

    void fileDialogsUsedAndClosedWriteNoSettings()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        for (const QFileDialog::AcceptMode mode : {QFileDialog::AcceptOpen, QFileDialog::AcceptSave}) {
            auto dialog = QtUserDialogs::fileDialog(mode, QStringLiteral("请你签字！！"), dir.path(),
                                                    QStringLiteral("文本文件(*.txt)|*.txt"));
            dialog->show();
            // Browsing gives the dialog a history it would like to keep.
            dialog->setDirectory(dir.filePath(QStringLiteral("sub")));
            dialog->setDirectory(dir.path());
            static_cast<QDialog *>(dialog.get())->reject();
        }
        QCoreApplication::processEvents();
        QCOMPARE(settingsFiles(), QStringList());
    }
};

QTEST_MAIN(TestSettingsOffDisk)
#include "tst_settings_off_disk.moc"
