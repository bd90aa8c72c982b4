#include "dialogs/directory_list.h"
#include "dialogs/directory_pickers.h"
#include "directory_picker_fixture.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <unistd.h>

// "新建文件夹" in the directory picker: the names it offers, the folders it
// makes, and what it says when one cannot be made.
class TestDirectoryNewFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void newFolderTakesTheNextFreeNumber()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeDirs(tmp.path(), {QStringLiteral("A"), QStringLiteral("A1"), QStringLiteral("A2")});
        TestApp app;
        Form5 picker(app.ctx);
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("A"));
        QCOMPARE(picker.mddir(tmp.path()), tmp.path() + QStringLiteral("/A3"));
        QCOMPARE(app.dialogs.asked.last().extra, QStringLiteral("新建文件夹"));
        QVERIFY(QFileInfo(tmp.filePath(QStringLiteral("A3"))).isDir());
        QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("A4"))));

        // A plain file of the name counts as taken too.
        QFile file(tmp.filePath(QStringLiteral("B")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("B"));
        QCOMPARE(picker.mddir(tmp.path()), tmp.path() + QStringLiteral("/B1"));

        VERIFY_DIALOGS(app.dialogs);
    }

    void aCancelledOrEmptiedNameCreatesNothing()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        TestApp app;
        Form5 picker(app.ctx);
        picker.setCurrentPath(tmp.path());
        // A cancelled box answers with an empty text, as does an emptied name.
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QString());
        QVERIFY(picker.mddir(tmp.path()).isEmpty());
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QString());
        picker.Command1->click();
        QVERIFY(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
        QVERIFY(picker.Dir1->subfolderNames().isEmpty());
        QCOMPARE(picker.currentPath(), tmp.path());
        VERIFY_DIALOGS(app.dialogs);
    }

    void newFolderButtonShowsTheFolderMade()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        TestApp app;
        Form5 picker(app.ctx);
        picker.setCurrentPath(tmp.path());
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("新建文件夹"));
        picker.Command1->click();
        QVERIFY(QFileInfo(tmp.filePath(QStringLiteral("新建文件夹"))).isDir());
        QCOMPARE(picker.Dir1->subfolderNames(), QStringList {QStringLiteral("新建文件夹")});
        // The current folder stays where it was and stays highlighted:
        // "确定" still means it.
        QCOMPARE(picker.currentPath(), tmp.path());
        QCOMPARE(picker.Dir1->currentItem()->text(0), QFileInfo(tmp.path()).fileName());
        VERIFY_DIALOGS(app.dialogs);
    }

    void newFolderFailuresSayWhyAndCreateNothing()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        TestApp app;
        Form5 picker(app.ctx);

        // A "/" in the answer would make folders somewhere else.
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("a/b"));
        app.dialogs.expectMessage(QStringLiteral("文件夹名字中不能有“/”，没有新建文件夹！"), kKorvan);
        QVERIFY(picker.mddir(tmp.path()).isEmpty());
        QVERIFY(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

        // The directory vanished while the box was open.
        const QString gone = tmp.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkdir(gone));
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &q) {
            if (q.kind == ScriptedDialogs::Kind::Input)
                QDir().rmdir(gone);
        };
        app.dialogs.expectInput(newFolderPrompt(gone), kAskTitle, QStringLiteral("A"));
        app.dialogs.expectMessage(QStringLiteral("无法新建文件夹：\r\n") + gone + QStringLiteral("/A\r\n")
                                      + QStringLiteral("找不到文件或文件夹"),
                                  kKorvan);
        QVERIFY(picker.mddir(gone).isEmpty());
        QVERIFY(!QFileInfo::exists(gone));
        VERIFY_DIALOGS(app.dialogs);
    }

    void newFolderInADirectoryThatRefusesAccess()
    {
        if (::geteuid() == 0)
            QSKIP("root may create folders anywhere");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        makeDirs(tmp.path(), {QStringLiteral("A")});
        QVERIFY(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::ExeOwner));
        TestApp app;
        Form5 picker(app.ctx);
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("A"));
        app.dialogs.expectMessage(QStringLiteral("没有权限在这个目录中新建文件夹：\r\n") + tmp.path(), kKorvan);
        QVERIFY(picker.mddir(tmp.path()).isEmpty());
        QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList {QStringLiteral("A")});
        VERIFY_DIALOGS(app.dialogs);
    }

    void newFolderStopsWhenTheProgramEndsMeanwhile()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        TestApp app;
        Form5 picker(app.ctx);
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) { app.ctx.m.exitAllowed = true; };
        app.dialogs.expectInput(newFolderPrompt(tmp.path()), kAskTitle, QStringLiteral("A"));
        QVERIFY(picker.mddir(tmp.path()).isEmpty());
        QVERIFY(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestDirectoryNewFolder)
#include "tst_directory_new_folder.moc"
