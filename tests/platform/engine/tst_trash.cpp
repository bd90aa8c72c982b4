#include "platform/engine/fs_util.h"
#include "platform/engine/trash.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <QDateTime>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace EngineTestFiles;

namespace {

struct TrashInfo
{
    bool valid = false;
    QByteArray rawPath; // as written, still escaped
    QByteArray path;
    QByteArray deletionDate;
};

// Reads a .trashinfo the strict way: the group header first, then keys.
TrashInfo parseInfo(const QByteArray &file)
{
    TrashInfo info;
    const QList<QByteArray> lines = readFile(file).split('\n');
    if (lines.isEmpty() || lines.first() != "[Trash Info]")
        return info;
    for (const QByteArray &line : lines.mid(1)) {
        if (line.startsWith("Path="))
            info.rawPath = line.mid(5);
        else if (line.startsWith("DeletionDate="))
            info.deletionDate = line.mid(13);
        else if (!line.isEmpty())
            return info;
    }
    info.path = QByteArray::fromPercentEncoding(info.rawPath);
    info.valid = !info.rawPath.isEmpty() && !info.deletionDate.isEmpty();
    return info;
}

mode_t modeOf(const QByteArray &path)
{
    struct stat st;
    return lstat(path.constData(), &st) == 0 ? st.st_mode : 0;
}

} // namespace

class TestTrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void homeTrashIsCreatedAndInfoIsEncoded_data();
    void homeTrashIsCreatedAndInfoIsEncoded();
    void collisionsGetUniqueNames();
    void longNamesAreShortened();
    void linkIsTrashedNotItsTarget();
    void trashCliListsAndRestores();
    void otherVolumeUsesItsOwnTrash_data();
    void otherVolumeUsesItsOwnTrash();
    void noUsableTrashDeletesNothing();
    void refusesTheTrashItselfAndMissingPaths();
    void refusesEveryVolumesTrashAndItsAliases();
    void deleteModeGoesThroughTheEngine();

private:
    QTemporaryDir *m_tmp = nullptr;
    QByteArray m_root;
    QByteArray m_dataHome;
};

void TestTrash::init()
{
    m_tmp = new QTemporaryDir;
    m_root = bytes(m_tmp->path());
    m_dataHome = m_root + "/data/home"; // missing: the trash is made with its parents
    qputenv("XDG_DATA_HOME", m_dataHome);
}

void TestTrash::cleanup()
{
    removeTree(m_root);
    delete m_tmp;
    m_tmp = nullptr;
}

void TestTrash::homeTrashIsCreatedAndInfoIsEncoded_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("encodedName");
    QTest::newRow("plain") << QByteArray("plain-file_1.txt") << QByteArray("plain-file_1.txt");
    QTest::newRow("space") << QByteArray("a b.txt") << QByteArray("a%20b.txt");
    QTest::newRow("reserved") << QByteArray("50%;#?&=+.txt") << QByteArray("50%25%3B%23%3F%26%3D%2B.txt");
    QTest::newRow("chinese") << QString::fromUtf8("中文").toUtf8() << QByteArray("%E4%B8%AD%E6%96%87");
    QTest::newRow("not utf-8") << QByteArray("bad\xff", 4) << QByteArray("bad%FF");
    QTest::newRow("newline") << QByteArray("two\nlines") << QByteArray("two%0Alines");
}

void TestTrash::homeTrashIsCreatedAndInfoIsEncoded()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, encodedName);
    QVERIFY(makeDirs(m_root + "/dir"));
    const QByteArray item = m_root + "/dir/" + name;
    QVERIFY(writeFile(item, "content"));

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const TrashResult result = Trash::moveToTrash(item);
    QVERIFY2(result.ok, qPrintable(result.message));
    QVERIFY(!exists(item));
    const QByteArray trash = m_dataHome + "/Trash";
    QCOMPARE(result.trashedPath, trash + "/files/" + name);
    QCOMPARE(result.infoPath, trash + "/info/" + name + ".trashinfo");
    QCOMPARE(readFile(result.trashedPath), QByteArray("content"));
    QCOMPARE(modeOf(trash) & 0777, mode_t(0700));

    const TrashInfo info = parseInfo(result.infoPath);
    QVERIFY(info.valid);
    QCOMPARE(info.path, FsUtil::canonicalPath(m_root) + "/dir/" + name);
    QVERIFY(info.rawPath.endsWith(QByteArray("/dir/" + encodedName)));
    QVERIFY(!info.rawPath.contains(' ') && !info.rawPath.contains('\n'));
    static const QRegularExpression dateForm(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"));
    QVERIFY(dateForm.match(QString::fromLatin1(info.deletionDate)).hasMatch());
    const QDateTime deleted = QDateTime::fromString(QString::fromLatin1(info.deletionDate), Qt::ISODate);
    QVERIFY(deleted >= before.addSecs(-1) && deleted <= QDateTime::currentDateTime().addSecs(1));
}

void TestTrash::collisionsGetUniqueNames()
{
    QSet<QByteArray> trashedNames;
    for (int i = 0; i < 3; ++i) {
        const QByteArray dir = m_root + "/d" + QByteArray::number(i);
        QVERIFY(makeDirs(dir));
        QVERIFY(writeFile(dir + "/same.txt", QByteArray::number(i)));
        const TrashResult result = Trash::moveToTrash(dir + "/same.txt");
        QVERIFY2(result.ok, qPrintable(result.message));
        trashedNames.insert(FsUtil::baseNameOf(result.trashedPath));
        QCOMPARE(readFile(result.trashedPath), QByteArray::number(i));
        QCOMPARE(parseInfo(result.infoPath).path, FsUtil::canonicalPath(dir) + "/same.txt");
        QCOMPARE(result.infoPath, m_dataHome + "/Trash/info/" + FsUtil::baseNameOf(result.trashedPath) + ".trashinfo");
    }
    QCOMPARE(trashedNames.size(), 3);
    QVERIFY(trashedNames.contains("same.txt"));
}

void TestTrash::longNamesAreShortened()
{
    const QByteArray ascii(255, 'x');
    QByteArray chinese;
    while (chinese.size() + 3 <= 251)
        chinese += QString::fromUtf8("长").toUtf8();
    chinese += ".txt";
    for (const QByteArray &name : {ascii, chinese}) {
        for (int round = 0; round < 2; ++round) { // the second time the short name collides
            QVERIFY(writeFile(m_root + '/' + name, name));
            const TrashResult result = Trash::moveToTrash(m_root + '/' + name);
            QVERIFY2(result.ok, qPrintable(result.message));
            const QByteArray infoName = FsUtil::baseNameOf(result.infoPath);
            QVERIFY(infoName.size() <= 255);
            QVERIFY(QString::fromUtf8(infoName).toUtf8() == infoName); // not cut inside a character
            QCOMPARE(readFile(result.trashedPath), name);
            QCOMPARE(FsUtil::baseNameOf(parseInfo(result.infoPath).path), name);
        }
    }
}

void TestTrash::linkIsTrashedNotItsTarget()
{
    QVERIFY(writeFile(m_root + "/target.txt", "target"));
    QVERIFY(symlink("target.txt", QByteArray(m_root + "/link").constData()) == 0);
    const TrashResult result = Trash::moveToTrash(m_root + "/link");
    QVERIFY2(result.ok, qPrintable(result.message));
    QVERIFY(S_ISLNK(modeOf(result.trashedPath)));
    QCOMPARE(readFile(m_root + "/target.txt"), QByteArray("target"));
    QVERIFY(parseInfo(result.infoPath).path.endsWith("/link"));
}

void TestTrash::trashCliListsAndRestores()
{
    if (QStandardPaths::findExecutable(QStringLiteral("trash-list")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("trash-restore")).isEmpty())
        QSKIP("trash-cli (trash-list, trash-restore) is not installed");
    const QByteArray dir = FsUtil::canonicalPath(m_root) + "/docs";
    QVERIFY(makeDirs(dir));
    const QByteArray name = QString::fromUtf8("报告 2024.txt").toUtf8();
    QVERIFY(writeFile(dir + '/' + name, "report"));
    QVERIFY(Trash::moveToTrash(dir + '/' + name).ok);

    QProcess list;
    list.start(QStringLiteral("trash-list"), {});
    QVERIFY(list.waitForFinished(20000));
    const QString listed = QString::fromUtf8(list.readAllStandardOutput());
    QVERIFY2(listed.contains(text(dir + '/' + name)), qPrintable(listed));

    QProcess restore;
    restore.setWorkingDirectory(text(dir));
    restore.start(QStringLiteral("trash-restore"), {});
    QVERIFY(restore.waitForStarted());
    restore.write("0\n");
    restore.closeWriteChannel();
    QVERIFY(restore.waitForFinished(20000));
    QCOMPARE(readFile(dir + '/' + name), QByteArray("report"));
    QVERIFY(listTree(m_dataHome + "/Trash/files").isEmpty());
}

void TestTrash::otherVolumeUsesItsOwnTrash_data()
{
    QTest::addColumn<QString>("sharedTrash"); // how $topdir/.Trash is set up
    QTest::addColumn<QByteArray>("expectedRoot");
    const QByteArray uid = QByteArray::number(uint(getuid()));
    QTest::newRow("no .Trash") << QStringLiteral("none") << QByteArray(".Trash-" + uid);
    QTest::newRow("sticky .Trash") << QStringLiteral("sticky") << QByteArray(".Trash/" + uid);
    QTest::newRow(".Trash without sticky bit") << QStringLiteral("plain") << QByteArray(".Trash-" + uid);
    QTest::newRow(".Trash is a symlink") << QStringLiteral("symlink") << QByteArray(".Trash-" + uid);
}

void TestTrash::otherVolumeUsesItsOwnTrash()
{
    QFETCH(QString, sharedTrash);
    QFETCH(QByteArray, expectedRoot);
    if (geteuid() != 0)
        QSKIP("needs root to mount a tmpfs as another volume");
    const QByteArray volume = m_root + "/volume";
    QVERIFY(makeDirs(volume));
    if (mount("tmpfs", volume.constData(), "tmpfs", 0, "size=4m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(volume.constData(), MNT_DETACH); });

    if (sharedTrash == QStringLiteral("sticky") || sharedTrash == QStringLiteral("plain")) {
        QVERIFY(mkdir(QByteArray(volume + "/.Trash").constData(), 0777) == 0);
        QVERIFY(
            chmod(QByteArray(volume + "/.Trash").constData(), sharedTrash == QStringLiteral("sticky") ? 01777 : 0777)
            == 0);
    } else if (sharedTrash == QStringLiteral("symlink")) {
        QVERIFY(mkdir(QByteArray(volume + "/elsewhere").constData(), 01777) == 0);
        QVERIFY(chmod(QByteArray(volume + "/elsewhere").constData(), 01777) == 0);
        QVERIFY(symlink("elsewhere", QByteArray(volume + "/.Trash").constData()) == 0);
    }
    QVERIFY(makeDirs(volume + "/sub dir"));
    QVERIFY(writeFile(volume + "/sub dir/f.txt", "on the volume"));

    const TrashResult result = Trash::moveToTrash(volume + "/sub dir/f.txt");
    QVERIFY2(result.ok, qPrintable(result.message));
    const QByteArray trashRoot = volume + '/' + expectedRoot;
    QCOMPARE(result.trashedPath, trashRoot + "/files/f.txt");
    QCOMPARE(readFile(result.trashedPath), QByteArray("on the volume"));
    QCOMPARE(modeOf(trashRoot) & 0777, mode_t(0700));
    const TrashInfo info = parseInfo(result.infoPath);
    QVERIFY(info.valid);
    QCOMPARE(info.rawPath, QByteArray("sub%20dir/f.txt")); // relative to the volume's top
    QVERIFY(!exists(m_dataHome + "/Trash/files/f.txt"));
}

void TestTrash::noUsableTrashDeletesNothing()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a tmpfs as another volume");
    const QByteArray volume = m_root + "/volume";
    QVERIFY(makeDirs(volume));
    if (mount("tmpfs", volume.constData(), "tmpfs", 0, "size=4m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(volume.constData(), MNT_DETACH); });
    // Something that is not a folder blocks $topdir/.Trash-$uid.
    QVERIFY(writeFile(volume + "/.Trash-" + QByteArray::number(uint(getuid())), "in the way"));
    QVERIFY(writeFile(volume + "/keep.txt", "keep"));

    const TrashResult result = Trash::moveToTrash(volume + "/keep.txt");
    QVERIFY(!result.ok);
    QCOMPARE(result.errorCode, ENOTDIR);
    QVERIFY(result.message.contains(QStringLiteral("路径中有一项不是文件夹")));
    QVERIFY(result.message.contains(QStringLiteral("没有删除")));
    QCOMPARE(readFile(volume + "/keep.txt"), QByteArray("keep"));

    // The engine turns it into an error the user sees, and still keeps the file.
    ScriptedEngineQuestions questions;
    const FileOpResult engineResult = runSync(deleteRecord(text(volume + "/keep.txt")), questions);
    QCOMPARE(engineResult.status, FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(engineResult.message, result.message);
    QCOMPARE(readFile(volume + "/keep.txt"), QByteArray("keep"));
}

void TestTrash::refusesTheTrashItselfAndMissingPaths()
{
    QVERIFY(writeFile(m_root + "/x", "x"));
    QVERIFY(Trash::moveToTrash(m_root + "/x").ok);
    const TrashResult trashItself = Trash::moveToTrash(m_dataHome + "/Trash");
    QVERIFY(!trashItself.ok);
    QVERIFY(exists(m_dataHome + "/Trash/files/x"));
    const TrashResult inside = Trash::moveToTrash(m_dataHome + "/Trash/files/x");
    QVERIFY(!inside.ok);
    QVERIFY(exists(m_dataHome + "/Trash/files/x"));
    const TrashResult missing = Trash::moveToTrash(m_root + "/does-not-exist");
    QVERIFY(!missing.ok);
    QCOMPARE(missing.errorCode, ENOENT);
}

void TestTrash::refusesEveryVolumesTrashAndItsAliases()
{
    if (geteuid() != 0)
        QSKIP("needs root to mount a tmpfs as another volume");
    const QByteArray volume = m_root + "/volume";
    const QByteArray alias = m_root + "/alias";
    QVERIFY(makeDirs(volume));
    QVERIFY(makeDirs(alias));
    if (mount("tmpfs", volume.constData(), "tmpfs", 0, "size=4m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(strerror(errno))));
    auto unmount = qScopeGuard([&] { umount2(volume.constData(), MNT_DETACH); });
    QVERIFY(mount(volume.constData(), alias.constData(), nullptr, MS_BIND, nullptr) == 0);
    auto unbind = qScopeGuard([&] { umount2(alias.constData(), MNT_DETACH); });
    QVERIFY(writeFile(volume + "/f.txt", "f"));
    const TrashResult first = Trash::moveToTrash(volume + "/f.txt");
    QVERIFY2(first.ok, qPrintable(first.message));
    const QByteArray own = volume + "/.Trash-" + QByteArray::number(uint(getuid()));
    QVERIFY(mkdir(QByteArray(volume + "/.Trash").constData(), 01777) == 0);
    QVERIFY(chmod(QByteArray(volume + "/.Trash").constData(), 01777) == 0);
    QVERIFY(writeFile(volume + "/g.txt", "g"));
    const TrashResult second = Trash::moveToTrash(volume + "/g.txt");
    QVERIFY2(second.ok, qPrintable(second.message));
    QVERIFY(second.trashedPath.startsWith(QByteArray(volume + "/.Trash/")));
    QVERIFY(symlink(QByteArray(own + "/files").constData(), QByteArray(m_root + "/shortcut").constData()) == 0);
    // A bind mount of the trash's files folder elsewhere is the trash all the same.
    const QByteArray elsewhere = m_root + "/elsewhere";
    QVERIFY(makeDirs(elsewhere));
    QVERIFY(mount(QByteArray(own + "/files").constData(), elsewhere.constData(), nullptr, MS_BIND, nullptr) == 0);
    auto unbindElsewhere = qScopeGuard([&] { umount2(elsewhere.constData(), MNT_DETACH); });

    const QList<QByteArray> refused {first.trashedPath,
                                     first.infoPath,
                                     own,
                                     own + "/files",
                                     second.trashedPath,
                                     second.infoPath,
                                     alias + "/.Trash-" + QByteArray::number(uint(getuid())) + "/files/f.txt",
                                     m_root + "/shortcut/f.txt",
                                     elsewhere + "/f.txt"};
    for (const QByteArray &path : refused) {
        const TrashResult result = Trash::moveToTrash(path);
        QVERIFY2(!result.ok, path.constData());
        QVERIFY(result.message.contains(QStringLiteral("回收站之内")));
    }
    QCOMPARE(listTree(own),
             (QStringList {QStringLiteral("files"), QStringLiteral("files/f.txt"), QStringLiteral("info"),
                           QStringLiteral("info/f.txt.trashinfo")}));
    QCOMPARE(readFile(second.trashedPath), QByteArray("g"));
    QVERIFY(exists(second.infoPath));
}

void TestTrash::deleteModeGoesThroughTheEngine()
{
    QVERIFY(makeDirs(m_root + "/tree/a/b"));
    for (int i = 0; i < 50; ++i)
        QVERIFY(writeFile(m_root + "/tree/a/b/f" + QByteArray::number(i), "x"));
    struct stat before;
    QVERIFY(lstat(QByteArray(m_root + "/tree").constData(), &before) == 0);

    ScriptedEngineQuestions questions;
    const FileOpResult result = runSync(deleteRecord(text(m_root + "/tree")), questions);
    QCOMPARE(result.status, FileOpResult::Status::Done);
    QVERIFY(questions.trashQuestions.isEmpty()); // 0x50 has FOF_NOCONFIRMATION
    QVERIFY(!exists(m_root + "/tree"));
    struct stat after;
    QVERIFY(lstat(QByteArray(m_dataHome + "/Trash/files/tree").constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino); // renamed, not copied: constant time
    QCOMPARE(listTree(m_dataHome + "/Trash/files/tree/a/b").size(), 50);

    // Without FOF_NOCONFIRMATION the user is asked first.
    QVERIFY(writeFile(m_root + "/ask.txt", "ask"));
    FileOpRecord asking = deleteRecord(text(m_root + "/ask.txt"));
    asking.fFlags = FileOpFlag::AllowUndo;
    ScriptedEngineQuestions declining;
    declining.trashAnswer = false;
    QCOMPARE(runSync(asking, declining).status, FileOpResult::Status::Cancelled);
    QCOMPARE(declining.trashQuestions, QStringList {text(m_root + "/ask.txt")});
    QVERIFY(exists(m_root + "/ask.txt"));

    ScriptedEngineQuestions missing;
    const FileOpResult gone = runSync(deleteRecord(text(m_root + "/nothing")), missing);
    QCOMPARE(gone.status, FileOpResult::Status::Failed);
    QVERIFY(gone.message.contains(QStringLiteral("找不到文件或文件夹")));
}

QTEST_GUILESS_MAIN(TestTrash)
#include "tst_trash.moc"
