#include "model/report_format.h"
#include "platform/text_encoding.h"

#include <QtTest>

namespace {

QByteArray blanks(int n)
{
    return QByteArray(n, ' ');
}

} // namespace

class TestReportFormat : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void zonesStartEveryFourteenColumns_data()
    {
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("next");
        QTest::newRow("empty field") << 0 << 14;
        QTest::newRow("one column") << 1 << 14;
        QTest::newRow("13 columns") << 13 << 14;
        QTest::newRow("exactly one zone") << 14 << 28;
        QTest::newRow("into the second zone") << 15 << 28;
        QTest::newRow("exactly two zones") << 28 << 42;
        QTest::newRow("41 columns") << 41 << 42;
    }
    void zonesStartEveryFourteenColumns()
    {
        QFETCH(int, written);
        QFETCH(int, next);
        QCOMPARE(ReportFormat::nextZoneStart(written), qsizetype(next));
    }

    // Fields and expected bytes are typed out by hand, blanks counted.
    void linesPutEachFieldInAZoneOfItsOwn_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("8-character source")
            << QStringLiteral("C:\\a.txt") << QStringLiteral("D:\\BAK\\") << QStringLiteral("x")
            << QByteArray("C:\\a.txt" + blanks(6) + "D:\\BAK\\" + blanks(7) + "x\r\n");
        QTest::newRow("13-character source ends one blank short of the zone")
            << QStringLiteral("/home/u/a.txt") << QStringLiteral("/bak/") << QStringLiteral("r")
            << QByteArray("/home/u/a.txt" + blanks(1) + "/bak/" + blanks(9) + "r\r\n");
        QTest::newRow("14-character source is followed by a whole zone")
            << QStringLiteral("/home/u/ab.txt") << QStringLiteral("/bak/") << QStringLiteral("r")
            << QByteArray("/home/u/ab.txt" + blanks(14) + "/bak/" + blanks(9) + "r\r\n");
        QTest::newRow("20-character source pushes the destination to column 29")
            << QStringLiteral("/home/user/music.mp3") << QStringLiteral("/bak/") << QStringLiteral("r")
            << QByteArray("/home/user/music.mp3" + blanks(8) + "/bak/" + blanks(9) + "r\r\n");
        QTest::newRow("empty destination still takes its zone")
            << QStringLiteral("/a") << QString() << QStringLiteral("r")
            << QByteArray("/a" + blanks(12) + blanks(14) + "r\r\n");
        QTest::newRow("no remark ends in the blanks before CR LF")
            << QStringLiteral("/a") << QStringLiteral("/b/") << QString()
            << QByteArray("/a" + blanks(12) + "/b/" + blanks(11) + "\r\n");
        QTest::newRow("all fields empty") << QString() << QString() << QString() << QByteArray(blanks(28) + "\r\n");
        // 14 characters but 16 bytes: columns are bytes of the file.
        QTest::newRow("Chinese characters fill two columns each")
            << QStringLiteral("/home/用户/a.txt") << QStringLiteral("/备份/") << QStringLiteral("回收站")
            << QByteArray("/home/\xd3\xc3\xbb\xa7/a.txt" + blanks(12) + "/\xb1\xb8\xb7\xdd/" + blanks(8)
                          + "\xbb\xd8\xca\xd5\xd5\xbe\r\n");
        // A character GBK lacks keeps its four GB18030 bytes.
        QTest::newRow("a character beyond GBK is kept")
            << QStringLiteral("/x/😀") << QStringLiteral("/b/") << QStringLiteral("ok")
            << QByteArray("/x/\x94\x39\xfc\x36" + blanks(7) + "/b/" + blanks(11) + "ok\r\n");
        QTest::newRow("blanks and tabs inside fields are written unchanged")
            << QStringLiteral("/a b") << QStringLiteral("/c\td/") << QStringLiteral("  x ")
            << QByteArray("/a b" + blanks(10) + "/c\td/" + blanks(9) + "  x \r\n");
    }
    void linesPutEachFieldInAZoneOfItsOwn()
    {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(QString, remark);
        QFETCH(QByteArray, bytes);
        const QByteArray line = ReportFormat::line(
            {toReportEncoding(source), toReportEncoding(destination), toReportEncoding(remark)});
        QCOMPARE(line, bytes);
    }
};

QTEST_APPLESS_MAIN(TestReportFormat)
#include "tst_report_format.moc"
