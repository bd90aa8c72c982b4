#include "model/mode_operation.h"
#include "model/texts.h"

#include <QTest>

class TestModeOperation : public QObject
{
    Q_OBJECT
private slots:
    void eachModeWordPerformsItsOperation_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("destination");
        const QString dest = QStringLiteral("/backup/");
        const QString earlier = QStringLiteral("/earlier/");
        QTest::newRow("copy") << Texts::ModeCopy << int(FileOpCode::Copy)
                              << int(FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo) << dest;
        QTest::newRow("move") << Texts::ModeCut << int(FileOpCode::Move)
                              << int(FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation)
                              << dest;
        // A delete keeps the destination the last operation had.
        QTest::newRow("delete keeps the last destination")
            << Texts::ModeDelete << int(FileOpCode::Delete) << int(FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation)
            << earlier;
    }
    void eachModeWordPerformsItsOperation()
    {
        QFETCH(QString, mode);
        QFETCH(int, operation);
        QFETCH(int, flags);
        QFETCH(QString, destination);
        FileOpRecord op;
        op.pTo = QStringLiteral("/earlier/");
        QVERIFY(setOperationForMode(op, mode, QStringLiteral("/backup/")));
        QCOMPARE(int(op.wFunc), operation);
        QCOMPARE(int(op.fFlags), flags);
        QCOMPARE(op.pTo, destination);
    }

    void aWordThatNamesNoOperationLeavesTheRecordAlone()
    {
        FileOpRecord op;
        op.wFunc = FileOpCode::Copy;
        op.pTo = QStringLiteral("/earlier/");
        QVERIFY(!setOperationForMode(op, QStringLiteral("移动"), QStringLiteral("/backup/")));
        QVERIFY(!setOperationForMode(op, QString(), QStringLiteral("/backup/")));
        QCOMPARE(int(op.wFunc), int(FileOpCode::Copy));
        QCOMPARE(op.pTo, QStringLiteral("/earlier/"));
    }
};

QTEST_GUILESS_MAIN(TestModeOperation)
#include "tst_mode_operation.moc"
