#pragma once

#include <QString>
#include <QtGlobal>

// The queue's size text: whole kilobytes plus the remainder in tens of bytes
// as hundredths (1500 bytes give "1.48", 2048 give "2", 1023 give "1.02").
QString sizeInK(qint64 length);

// The part of a path after its last separator; the whole path when it has
// none, empty when it ends in one.
QString pathName(const QString &path);

// Rounds to the nearest integer, halves to the even neighbour.
qint64 roundHalfEven(double value);
