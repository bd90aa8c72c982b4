#include "mainwin/app_context.h"
#include "mainwin/main_window.h"
#include "model/free_space.h"
#include "platform/disk_space.h"

#include <QComboBox>
#include <QDir>

// Fills the drive chooser with the mounted volumes.
void Form1::fillDrives()
{
    // Each entry carries its volume's root, so a label with brackets or a
    // mount point with blanks never has to be parsed back out of the text.
    const QList<VolumeInfo> volumes = m_ctx.svc.disk->mountedVolumes();
    QStringList roots;
    Drive1->clear();
    for (const VolumeInfo &v : volumes) {
        Drive1->addItem(FreeSpace::chooserEntry(v.rootPath, v.label), v.rootPath);
        roots << v.rootPath;
    }
    // The chooser opens on the volume the program runs from, as a drive
    // list shows the current drive; nothing is queried until the user picks.
    const int current = FreeSpace::volumeHolding(roots, QDir::currentPath());
    Drive1->setCurrentIndex(current >= 0 ? current : (roots.isEmpty() ? -1 : 0));
    // Only a pick by the user counts as a drive change, never the filling above.
    connect(Drive1, &QComboBox::activated, this, &Form1::Drive1_Change, Qt::UniqueConnection);
}

// Appends one free-space row for the drive just chosen.
void Form1::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (root.isEmpty())
        return;
    // A volume that cannot be queried (unmounted meanwhile, no medium) gets
    // no row rather than an earlier drive's figures.
    const std::optional<DiskFreeSpace> space = m_ctx.svc.disk->query(FreeSpace::queryRoot(root));
    if (!space)
        return;
    const std::optional<FreeSpace::Figures> figures = FreeSpace::figures(
        space->sectorsPerCluster, space->bytesPerSector, space->freeClusters, space->totalClusters);
    if (!figures)
        return;
    m_ctx.summary.appendRow(FreeSpace::rowText(FreeSpace::drivePart(root), *figures));
}
