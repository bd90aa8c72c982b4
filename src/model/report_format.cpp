#include "model/report_format.h"

namespace ReportFormat {

qsizetype nextZoneStart(qsizetype p)
{
    return (p / ZoneWidth + 1) * ZoneWidth;
}

QByteArray line(const QByteArrayList &encodedFields)
{
    QByteArray out;
    for (qsizetype i = 0; i < encodedFields.size(); ++i) {
        out += encodedFields.at(i);
        if (i + 1 < encodedFields.size())
            out.append(nextZoneStart(out.size()) - out.size(), ' ');
    }
    out += "\r\n";
    return out;
}

} // namespace ReportFormat
