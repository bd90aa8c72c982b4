#include "platform/text_encoding.h"

#include <QStringEncoder>

#include <cerrno>
#include <iconv.h>

// glibc's iconv knows GB18030 even where Qt was built without ICU.
QByteArray toGb18030WithIconv(const QString &text)
{
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QByteArray();
    QByteArray in = text.toUtf8();
    QByteArray out;
    out.resize(in.size() * 2 + 16); // at most 4 bytes for each 2..4 UTF-8 bytes, 2 for 1
    char *inPtr = in.data();
    size_t inLeft = size_t(in.size());
    char *outPtr = out.data();
    size_t outLeft = size_t(out.size());
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2);
            outPtr = out.data() + used;
            outLeft = size_t(out.size() - used);
            continue;
        }
        // A lone surrogate cannot be encoded by anything; write '?' as Qt does.
        ++inPtr;
        --inLeft;
        if (outLeft == 0)
            continue;
        *outPtr++ = '?';
        --outLeft;
    }
    out.resize(outPtr - out.data());
    iconv_close(cd);
    return out;
}

QByteArray toReportEncoding(const QString &text)
{
    QStringEncoder encoder("GB18030");
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(text);
        if (!encoder.hasError())
            return bytes;
    }
    return toGb18030WithIconv(text);
}
