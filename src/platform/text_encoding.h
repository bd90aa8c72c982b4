#pragma once

#include <QByteArray>
#include <QString>

// Encodes text for the report files: GB18030, which gives the same bytes as
// GBK for every character GBK has and still encodes every other character
// (four-byte sequences) instead of dropping it.
QByteArray toReportEncoding(const QString &text);

// The same through glibc's iconv; used when Qt was built without a GB18030 codec.
QByteArray toGb18030WithIconv(const QString &text);
