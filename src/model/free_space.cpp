#include "model/free_space.h"

#include "model/size_text.h"

#include <cmath>

namespace {

const QString kDrive = QStringLiteral("盘");
const QString kTotal = QStringLiteral("原有空间：");
const QString kGB = QStringLiteral("GB ");
const QString kFree = QStringLiteral(" 可用空间：");
const QString kMB = QStringLiteral("MB");

// Rounds a figure, or nullopt when it is no finite number in 64-bit range.
std::optional<qint64> roundedFigure(double value)
{
    // 2^63 itself is out of range, so the bound is exclusive.
    if (!std::isfinite(value) || value >= 9223372036854775808.0 || value < -9223372036854775808.0)
        return std::nullopt;
    return roundHalfEven(value);
}

} // namespace

namespace FreeSpace {

std::optional<Figures> figures(qint64 sectorsPerCluster, qint64 bytesPerSector, qint64 freeClusters,
                               qint64 totalClusters)
{
    qint64 clusterBytes = 0;
    if (qMulOverflow(bytesPerSector, sectorsPerCluster, &clusterBytes))
        return std::nullopt;
    // Left to right in floating point, as the figures have always been made.
    const auto freeMB = roundedFigure(double(freeClusters) / 1024 * double(clusterBytes) / 1024);
    const auto totalGB = roundedFigure(double(totalClusters) / 1024 * double(clusterBytes) / 1024 / 1024);
    if (!freeMB || !totalGB)
        return std::nullopt;
    return Figures {*totalGB, *freeMB};
}

bool hasDriveLetter(const QString &root)
{
    return root.size() >= 2 && root.at(1) == u':' && root.at(0).isLetter() && root.at(0).unicode() < 0x80;
}

QString chooserEntry(const QString &root, const QString &label)
{
    // A label that only repeats the mount point says nothing more.
    if (label.isEmpty() || label == root)
        return root;
    return root + QStringLiteral(" [") + label + u']';
}

QString queryRoot(const QString &root)
{
    if (!hasDriveLetter(root))
        return root;
    QString r = root.left(2);
    if (!r.endsWith(u'\\'))
        r += u'\\';
    return r;
}

QString drivePart(const QString &root)
{
    if (!hasDriveLetter(root))
        return root;
    return root.left(2).toUpper();
}

QString rowText(const QString &drivePart, const Figures &figures)
{
    return drivePart + kDrive + kTotal + QString::number(figures.totalGB) + kGB + kFree
        + QString::number(figures.freeMB) + kMB;
}

int volumeHolding(const QStringList &roots, const QString &path)
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < roots.size(); ++i) {
        const QString &root = roots.at(i);
        bool holds = false;
        if (hasDriveLetter(root)) {
            holds = path.size() >= 2 && path.left(2).compare(root.left(2), Qt::CaseInsensitive) == 0;
        } else if (!root.isEmpty() && path.startsWith(root)) {
            // "/media/usb" holds "/media/usb/x" but not "/media/usb2".
            holds = root.endsWith(u'/') || path.size() == root.size() || path.at(root.size()) == u'/';
        }
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

} // namespace FreeSpace
