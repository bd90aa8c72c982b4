#include "model/report_file.h"

#include "model/move_queue.h"
#include "model/report_format.h"
#include "platform/event_yield.h"
#include "platform/text_encoding.h"

#include <QFile>

#include <cerrno>

QList<ReportRow> reportRows(const MoveQueue &queue)
{
    QList<ReportRow> rows;
    rows.reserve(queue.count());
    for (int pos = 0; pos < queue.count(); ++pos) {
        const MoveTask &t = queue.task(pos);
        rows.append(ReportRow {t.sourcePath, t.destination, t.remark});
    }
    return rows;
}

ReportWrite appendReport(const QString &fileName, const QList<ReportRow> &rows, EventYield &yield)
{
    QFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return {ReportWrite::Outcome::CannotOpen, errno};
    const qint64 sizeBefore = file.size();

    QByteArray report;
    for (const ReportRow &row : rows) {
        yield.yield();
        report += ReportFormat::line(
            {toReportEncoding(row.source), toReportEncoding(row.destination), toReportEncoding(row.remark)});
    }
    errno = 0;
    const bool written = file.write(report) == report.size() && file.flush();
    if (!written) {
        const int reason = errno;
        const bool sequential = file.isSequential();
        file.close();
        // Cut back by name: the open file would first try to flush what it
        // still buffers, fail again and leave the part it wrote in place.
        if (!sequential)
            QFile::resize(fileName, sizeBefore);
        return {ReportWrite::Outcome::CannotWrite, reason};
    }
    errno = 0;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return {ReportWrite::Outcome::CannotWrite, errno};
    return {};
}
