#include "model/report_file.h"
#include "model/report_format.h"
#include "platform/event_yield.h"
#include "platform/text_encoding.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace {

struct CountingYield : EventYield
{
    int calls = 0;
    void yield() override { ++calls; }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QList<ReportRow> manyRows(int count)
{
    QList<ReportRow> rows;
    for (int i = 0; i < count; ++i)
        rows.append({QStringLiteral("/home/u/歌曲%1.mp3").arg(i), QStringLiteral("/backup/"), QStringLiteral("备注")});
    return rows;
}

// Writes past this many bytes fail for this process (EFBIG) while it lives.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved {};
    void (*m_savedHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class TestReportFile : public QObject
{
    Q_OBJECT
private slots:
    void theRowsAreAppendedAfterWhatTheFileHeld()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        writeAll(path, QByteArrayLiteral("earlier\r\n"));
        CountingYield yield;
        const QList<ReportRow> rows = manyRows(2);

        const ReportWrite result = appendReport(path, rows, yield);

        QCOMPARE(result.outcome, ReportWrite::Outcome::Written);
        QByteArray expected = QByteArrayLiteral("earlier\r\n");
        for (const ReportRow &row : rows)
            expected += ReportFormat::line(
                {toReportEncoding(row.source), toReportEncoding(row.destination), toReportEncoding(row.remark)});
        QCOMPARE(readAll(path), expected);
        QCOMPARE(yield.calls, 2);
    }

    void aWriteThatFailsHalfwayLeavesTheFileAsItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.txt"));
        const QByteArray earlier = QByteArrayLiteral("an earlier report\r\n");
        writeAll(path, earlier);
        CountingYield yield;

        ReportWrite result;
        {
            // Room for part of the report only: the write stops halfway.
            FileSizeLimit limit(rlim_t(earlier.size()) + 100);
            if (!limit.ok())
                QSKIP("cannot limit the file size here");
            result = appendReport(path, manyRows(50), yield);
        }

        QCOMPARE(result.outcome, ReportWrite::Outcome::CannotWrite);
        QCOMPARE(result.error, EFBIG);
        QCOMPARE(readAll(path), earlier);
    }

    void aFileThatCannotBeOpenedSaysWhyAndIsNotMade()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("no such folder/report.txt"));
        CountingYield yield;
        const ReportWrite result = appendReport(path, manyRows(1), yield);
        QCOMPARE(result.outcome, ReportWrite::Outcome::CannotOpen);
        QCOMPARE(result.error, ENOENT);
        QVERIFY(!QFile::exists(path));
        QCOMPARE(yield.calls, 0);
    }
};

QTEST_GUILESS_MAIN(TestReportFile)
#include "tst_report_file.moc"
