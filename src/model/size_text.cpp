#include "model/size_text.h"

#include <cmath>

qint64 roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff > 0.5)
        return qint64(floor) + 1;
    if (diff < 0.5)
        return qint64(floor);
    const qint64 f = qint64(floor);
    return (f % 2 == 0) ? f : f + 1;
}

QString sizeInK(qint64 length)
{
    const qint64 whole = length / 1024; // truncates toward zero
    const qint64 rest = length % 1024; // carries the sign of length
    const qint64 hundredths = roundHalfEven(double(rest) * 0.1);
    const double value = double(hundredths) * 0.01 + double(whole);
    return QString::number(value, 'g', 15);
}

static bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == u'\\' || c == u'/';
#else
    return c == u'/';
#endif
}

QString pathName(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isSeparator(path.at(i)))
            return path.mid(i + 1);
    }
    return path;
}
