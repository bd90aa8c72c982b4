#include "model/texts.h"
#include "support/test_app.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kNoRecords = QStringLiteral("没有任何记录 无法生成报表！！");
const QString kNoSignature = QStringLiteral("没有签名，请确认！！");
const QString kDone = QStringLiteral("报表生成完毕");

MoveTask task(const QString &source, const QString &destination, const QString &remark = QString())
{
    MoveTask t;
    t.name = QStringLiteral("n");
    t.sizeK = QStringLiteral("1");
    t.sourcePath = source;
    t.destination = destination;
    t.mode = Texts::ModeCopy;
    t.remark = remark;
    return t;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

QByteArray blanks(int n)
{
    return QByteArray(n, ' ');
}

// The save-file questions asked so far.
QList<ScriptedDialogs::Question> saveQuestions(const ScriptedDialogs &d)
{
    QList<ScriptedDialogs::Question> out;
    for (const auto &q : d.asked)
        if (q.kind == ScriptedDialogs::Kind::SaveFile)
            out << q;
    return out;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void anEmptyQueueGivesNoDialogAndNoFile()
    {
        TestApp app;
        app.dialogs.expectMessage(kNoRecords);
        app.form1->syswork.crtxt->trigger();
        VERIFY_DIALOGS(app.dialogs);
        QVERIFY(saveQuestions(app.dialogs).isEmpty());
    }

    void theSaveDialogAsksForASignatureAndWritesOneLinePerTask()
    {
        TestApp app;
        const QString report = path(QStringLiteral("signed.txt"));
        // Sources of 8, 13, 14 and 20 characters; one row without remark,
        // one without destination, one in Chinese.
        app.ctx.queue.appendTask(task(QStringLiteral("/a/b.txt"), QStringLiteral("/bak/"), QStringLiteral("x")));
        app.ctx.queue.appendTask(task(QStringLiteral("/home/u/a.txt"), QStringLiteral("/bak/")));
        app.ctx.queue.appendTask(task(QStringLiteral("/home/u/ab.txt"), QString(), QStringLiteral("r")));
        app.ctx.queue.appendTask(
            task(QStringLiteral("/home/user/music.mp3"), QStringLiteral("/备份/"), QStringLiteral("回收站")));
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kDone + report);
        app.form1->syswork.crtxt->trigger();
        VERIFY_DIALOGS(app.dialogs);

        const auto asked = saveQuestions(app.dialogs);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QStringLiteral("请你签字！！"));
        QCOMPARE(asked[0].title, QString()); // no name chosen before
        QCOMPARE(asked[0].extra, QStringLiteral("文本文件(*.txt)|*.txt"));

        const QByteArray expected = QByteArray("/a/b.txt" + blanks(6) + "/bak/" + blanks(9) + "x\r\n")
            + QByteArray("/home/u/a.txt" + blanks(1) + "/bak/" + blanks(9) + "\r\n")
            + QByteArray("/home/u/ab.txt" + blanks(14) + blanks(14) + "r\r\n")
            + QByteArray("/home/user/music.mp3" + blanks(8) + "/\xb1\xb8\xb7\xdd/" + blanks(8)
                         + "\xbb\xd8\xca\xd5\xd5\xbe\r\n");
        QCOMPARE(readAll(report), expected);
        // The report changes nothing in the queue.
        QCOMPARE(app.ctx.queue.count(), 4);
        QCOMPARE(app.ctx.summary.rowCount(), 4);
    }

    void aSecondReportIntoTheSameFileFollowsTheFirst()
    {
        TestApp app;
        const QString report = path(QStringLiteral("twice.txt"));
        {
            QFile f(report);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier notes\r\n");
        }
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/"), QStringLiteral("c")));
        app.ctx.queue.appendTask(task(QStringLiteral("/d"), QStringLiteral("/e/")));
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kDone + report);
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kDone + report);
        app.form1->crtxt();
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);

        // The second dialog opens on the name chosen the first time.
        const auto asked = saveQuestions(app.dialogs);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[1].title, report);

        const QByteArray block = QByteArray("/a" + blanks(12) + "/b/" + blanks(11) + "c\r\n")
            + QByteArray("/d" + blanks(12) + "/e/" + blanks(11) + "\r\n");
        QCOMPARE(readAll(report), QByteArray("earlier notes\r\n") + block + block);
    }

    void aCancelledDialogIsNoSignature()
    {
        TestApp app;
        const QString first = path(QStringLiteral("first.txt"));
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/")));

        // Cancelled the first time: nothing is created.
        app.dialogs.expectSaveFile(QString());
        app.dialogs.expectMessage(kNoSignature);
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
        QVERIFY(QDir(m_dir.path()).entryList(QDir::Files).filter(QStringLiteral("first")).isEmpty());

        app.dialogs.expectSaveFile(first);
        app.dialogs.expectMessage(kDone + first);
        app.form1->crtxt();
        const QByteArray once = readAll(first);

        // Cancelled after a report: no second copy, and the earlier name is
        // still offered next time.
        app.dialogs.expectSaveFile(QString());
        app.dialogs.expectMessage(kNoSignature);
        app.dialogs.expectSaveFile(QString());
        app.dialogs.expectMessage(kNoSignature);
        app.form1->crtxt();
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(readAll(first), once);
        const auto asked = saveQuestions(app.dialogs);
        QCOMPARE(asked.size(), 4);
        QCOMPARE(asked[2].title, first);
        QCOMPARE(asked[3].title, first);
    }

    void aFileThatCannotBeOpenedIsReportedWithPathAndReason()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/")));
        const QString missingDir = path(QStringLiteral("no-such-dir/report.txt"));
        const QString aDirectory = m_dir.path();
        // The reason in Chinese, never the system's English.
        const std::pair<QString, QString> cases[] = {{missingDir, QStringLiteral("找不到文件或文件夹")},
                                                     {aDirectory, QStringLiteral("这是一个文件夹")}};
        for (const auto &[target, reason] : cases) {
            app.dialogs.expectSaveFile(target);
            app.dialogs.expectMessage(QStringLiteral("无法打开报表文件：") + target + u'\n' + reason);
            app.form1->crtxt();
            VERIFY_DIALOGS(app.dialogs);
        }
        QVERIFY(!QFile::exists(missingDir));
    }

    void aFailedWriteIsReportedAndNeverCalledDone()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full to fill up");
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/")));
        const QString full = QStringLiteral("/dev/full");
        // Opening a device for appending makes Qt note that it cannot seek there.
        const QRegularExpression noSeek(QStringLiteral("Cannot call seek on a sequential device"));
        QTest::ignoreMessage(QtWarningMsg, noSeek);
        app.dialogs.expectSaveFile(full);
        app.dialogs.expectMessage(QStringLiteral("无法写入报表文件：/dev/full\n磁盘空间不足"));
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
    }

    void theReportWritesTheRowsTakenWhenItStarted()
    {
        TestApp app;
        const QString report = path(QStringLiteral("taken.txt"));
        for (int i = 0; i < 3; ++i)
            app.ctx.queue.appendTask(task(QStringLiteral("/r%1").arg(i), QStringLiteral("/d/")));
        // Another handler empties the queue at the first yield and adds a row at the next.
        int yields = 0;
        app.yield.onYield = [&] {
            if (++yields == 1)
                app.ctx.queue.clearQueue();
            else
                app.ctx.queue.appendTask(task(QStringLiteral("/late"), QStringLiteral("/d/")));
        };
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kDone + report);
        const int before = app.yield.count;
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
        QCOMPARE(app.yield.count - before, 3); // one yield per row
        QByteArray expected;
        for (int i = 0; i < 3; ++i)
            expected += QByteArray("/r" + QByteArray::number(i) + blanks(11) + "/d/" + blanks(11) + "\r\n");
        QCOMPARE(readAll(report), expected);
    }

    void aQueueEmptiedWhileSigningWritesNothing()
    {
        TestApp app;
        const QString report = path(QStringLiteral("emptied.txt"));
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/")));
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &q) {
            if (q.kind == ScriptedDialogs::Kind::SaveFile)
                app.ctx.queue.clearQueue();
        };
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kNoRecords);
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
        QVERIFY(!QFile::exists(report));
    }

    void aReportFinishedWhileTheProgramEndsShowsNoMessage()
    {
        TestApp app;
        const QString report = path(QStringLiteral("ending.txt"));
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("/b/")));
        app.ctx.queue.appendTask(task(QStringLiteral("/c"), QStringLiteral("/d/")));
        int depthWhileWriting = 0;
        app.yield.onYield = [&] {
            app.ctx.m.exitAllowed = true;
            depthWhileWriting = app.ctx.busyDepth;
        };
        app.dialogs.expectSaveFile(report);
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
        // The rows already taken are not lost, and the exit waited for them.
        QCOMPARE(readAll(report).count("\r\n"), 2);
        QVERIFY(depthWhileWriting > 0);
        QCOMPARE(app.ctx.busyDepth, 0);
        app.ctx.m.exitAllowed = false;
    }

    void theReportReadsBackThroughIconv()
    {
        const QString iconv = QStandardPaths::findExecutable(QStringLiteral("iconv"));
        if (iconv.isEmpty())
            QSKIP("iconv is not installed");
        TestApp app;
        const QString report = path(QStringLiteral("iconv.txt"));
        const QStringList sources {QStringLiteral("/home/用户/桌面/报告.doc"), QStringLiteral("/x/😀 smile.png"),
                                   QStringLiteral("/plain/ascii.txt")};
        for (const QString &s : sources)
            app.ctx.queue.appendTask(task(s, QStringLiteral("/备份/"), QStringLiteral("备注·€")));
        app.dialogs.expectSaveFile(report);
        app.dialogs.expectMessage(kDone + report);
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);

        QProcess p;
        p.start(
            iconv,
            {QStringLiteral("-f"), QStringLiteral("GB18030"), QStringLiteral("-t"), QStringLiteral("UTF-8"), report});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), sources.size() + 1);
        QVERIFY(lines.last().isEmpty());
        for (int i = 0; i < sources.size(); ++i) {
            QVERIFY2(lines[i].startsWith(sources[i]), qPrintable(lines[i]));
            QVERIFY2(lines[i].endsWith(QStringLiteral("/备份/") + QString(8, u' ') + QStringLiteral("备注·€")),
                     qPrintable(lines[i]));
        }
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
