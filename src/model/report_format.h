#pragma once

#include <QByteArray>
#include <QByteArrayList>

// The report file's line layout. Fields arrive already encoded, so columns
// are counted per byte of the file's text: a two-byte Chinese character
// fills two columns.
namespace ReportFormat {

// Width of one print zone, in columns.
constexpr int ZoneWidth = 14;

// The column at which the next zone starts after p columns: a field that
// ends on a zone boundary, or an empty one, is followed by a whole zone.
qsizetype nextZoneStart(qsizetype p);

// One report line: each field but the last followed by blanks up to the
// start of the next zone, the last followed by CR LF.
QByteArray line(const QByteArrayList &encodedFields);

} // namespace ReportFormat
