#include "model/folder_names.h"

#include <QSet>
#include <QtTest>

class TestFolderNames : public QObject
{
    Q_OBJECT

private slots:
    void destinationsEndInExactlyOneSeparator_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("dest");
        QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
        QTest::newRow("folder") << QStringLiteral("/home/ann/Games") << QStringLiteral("/home/ann/Games/");
        QTest::newRow("already ends in one") << QStringLiteral("/data/") << QStringLiteral("/data/");
        QTest::newRow("ends in several") << QStringLiteral("/data//") << QStringLiteral("/data/");
        QTest::newRow("case kept") << QStringLiteral("/Media/USB") << QStringLiteral("/Media/USB/");
    }

    void destinationsEndInExactlyOneSeparator()
    {
        QFETCH(QString, dir);
        QFETCH(QString, dest);
        QCOMPARE(withTrailingSeparator(dir), dest);
    }

    void folderPathsJoinWithOneSeparator()
    {
        QCOMPARE(joinFolderPath(QStringLiteral("/data"), QStringLiteral("A")), QStringLiteral("/data/A"));
        QCOMPARE(joinFolderPath(QStringLiteral("/"), QStringLiteral("A")), QStringLiteral("/A"));
        // An empty name names the directory itself.
        QCOMPARE(joinFolderPath(QStringLiteral("/data"), QString()), QStringLiteral("/data/"));
    }

    void numberedNamesCountUpAfterTheAnswer_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("sequence");
        QTest::newRow("plain") << QStringLiteral("A")
                               << QStringList {QStringLiteral("A1"), QStringLiteral("A2"), QStringLiteral("A3")};
        QTest::newRow("answer ending in a digit")
            << QStringLiteral("v2") << QStringList {QStringLiteral("v21"), QStringLiteral("v22")};
        QTest::newRow("empty") << QString() << QStringList {QStringLiteral("1"), QStringLiteral("2")};
        QTest::newRow("preset") << QStringLiteral("新建文件夹")
                                << QStringList {QStringLiteral("新建文件夹1"), QStringLiteral("新建文件夹2")};
    }

    void numberedNamesCountUpAfterTheAnswer()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, sequence);
        QString name = answer;
        for (const QString &expected : sequence) {
            name = nextFolderName(name, int(answer.size()));
            QCOMPARE(name, expected);
        }
    }

    void numbersCarryPastNine()
    {
        QCOMPARE(nextFolderName(QStringLiteral("A9"), 1), QStringLiteral("A10"));
        QCOMPARE(nextFolderName(QStringLiteral("A99"), 1), QStringLiteral("A100"));
        QCOMPARE(nextFolderName(QStringLiteral("A99999999999999999999"), 1), QStringLiteral("A100000000000000000000"));
    }

    void creationTriesNumberedNamesOnlyWhileTheNameExists()
    {
        QSet<QString> existing = {QStringLiteral("/d/A"), QStringLiteral("/d/A1"), QStringLiteral("/d/A2")};
        QStringList tried;
        auto fs = [&](const QString &path) {
            tried << path;
            return existing.contains(path) ? FolderAttempt::Exists : FolderAttempt::Created;
        };
        NewFolderOutcome out = createNumberedFolder(QStringLiteral("/d"), QStringLiteral("A"), fs);
        QCOMPARE(out.result, FolderAttempt::Created);
        QCOMPARE(out.path, QStringLiteral("/d/A3"));
        QCOMPARE(tried.size(), 4);

        // An empty answer first names the directory itself, which exists.
        existing = {QStringLiteral("/d/"), QStringLiteral("/d/1")};
        out = createNumberedFolder(QStringLiteral("/d"), QString(), fs);
        QCOMPARE(out.path, QStringLiteral("/d/2"));
    }

    void refusalsAndFailuresEndAtOnce_data()
    {
        QTest::addColumn<int>("failure");
        QTest::newRow("access refused") << int(FolderAttempt::AccessRefused);
        QTest::newRow("other failure") << int(FolderAttempt::Failed);
    }

    void refusalsAndFailuresEndAtOnce()
    {
        QFETCH(int, failure);
        int attempts = 0;
        const NewFolderOutcome out = createNumberedFolder(
            QStringLiteral("/d"), QStringLiteral("A"), [&](const QString &) {
                ++attempts;
                return attempts == 1 ? FolderAttempt::Exists : FolderAttempt(failure);
            });
        QCOMPARE(int(out.result), failure);
        QCOMPARE(out.path, QStringLiteral("/d/A1"));
        QCOMPARE(attempts, 2);
    }

    void aFileSystemThatAlwaysSaysExistsDoesNotHang()
    {
        const NewFolderOutcome out = createNumberedFolder(QStringLiteral("/d"), QStringLiteral("A"),
                                                          [](const QString &) { return FolderAttempt::Exists; });
        QCOMPARE(out.result, FolderAttempt::Failed);
    }
};

QTEST_APPLESS_MAIN(TestFolderNames)
#include "tst_folder_names.moc"
