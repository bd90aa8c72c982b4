#include "platform/text_encoding.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestTextEncoding : public QObject
{
    Q_OBJECT

private slots:
    void knownBytes_data();
    void knownBytes();
    void roundTripsThroughIconv();
};

void TestTextEncoding::knownBytes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii") << QStringLiteral("abc 123\r\n") << QByteArray("abc 123\r\n");
    QTest::newRow("gbk character") << QStringLiteral("中") << QByteArray::fromHex("d6d0");
    QTest::newRow("gbk sentence") << QStringLiteral("文件复制") << QByteArray::fromHex("cec4bcfeb8b4d6c6");
    QTest::newRow("euro, two bytes in GB18030") << QStringLiteral("€") << QByteArray::fromHex("a2e3");
    QTest::newRow("emoji, four bytes") << QString::fromUtf8("\xF0\x9F\x98\x80") << QByteArray::fromHex("9439fc36");
    QTest::newRow("outside GBK, BMP") << QStringLiteral("\u20AD") << QByteArray::fromHex("8136b332");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("long text grows the buffer")
        << QString(5000, QChar(0x4E2D)) << QByteArray::fromHex("d6d0").repeated(5000);
}

void TestTextEncoding::knownBytes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(toReportEncoding(text).toHex(), expected.toHex());
    QCOMPARE(toGb18030WithIconv(text).toHex(), expected.toHex());
}

void TestTextEncoding::roundTripsThroughIconv()
{
    if (QStandardPaths::findExecutable(QStringLiteral("iconv")).isEmpty())
        QSKIP("the iconv program is not installed");
    const QString text = QString::fromUtf8("报告：中文 € \xF0\x9F\x98\x80 \xE2\x82\xAD ÄÖ ﬁ 𠀀 end");
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"),
                {QStringLiteral("-f"), QStringLiteral("GB18030"), QStringLiteral("-t"), QStringLiteral("UTF-8")});
    QVERIFY(iconv.waitForStarted());
    iconv.write(toReportEncoding(text));
    iconv.closeWriteChannel();
    QVERIFY(iconv.waitForFinished(10000));
    QCOMPARE(iconv.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(iconv.readAllStandardOutput()), text);
}

QTEST_GUILESS_MAIN(TestTextEncoding)
#include "tst_text_encoding.moc"
