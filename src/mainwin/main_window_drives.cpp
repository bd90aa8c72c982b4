// The main window's drive chooser "Drive1" and the free-space rows it adds
// under the summary in ListView2.
#include "app/app_context.h"
#include "gui/refreshing_combo_box.h"
#include "mainwin/main_window.h"
#include "model/free_space.h"
#include "platform/disk_space.h"
#include "platform/disk_space_queries.h"

#include <QDir>

// Fills the drive chooser with the mounted volumes, as they are now.
void Form1::fillDrives()
{
    auto *chooser = qobject_cast<RefreshingComboBox *>(Drive1);
    if (!driveQueries) {
        driveQueries = new DiskSpaceQueries(*m_ctx.svc.disk, this);
        // Only a pick by the user counts as a drive change, never a filling.
        connect(Drive1, &QComboBox::activated, this, &Form1::Drive1_Change);
        // Media come and go: the list is read again each time it opens.
        if (chooser)
            connect(chooser, &RefreshingComboBox::aboutToChoose, this, &Form1::fillDrives);
    }
    // Each entry carries its volume's root, so a label with brackets or a
    // mount point with blanks never has to be parsed back out of the text.
    QStringList texts;
    QStringList roots;
    for (const VolumeInfo &v : m_ctx.svc.disk->mountedVolumes()) {
        texts << FreeSpace::chooserEntry(v.rootPath, v.label);
        roots << v.rootPath;
    }
    if (!chooser)
        return;
    chooser->setEntries(texts, roots);
    // The chooser shows the volume the program runs from, as a drive list
    // shows the current drive, until the user picks one that is still there.
    if (chooser->currentIndex() < 0 && !roots.isEmpty()) {
        const int current = FreeSpace::volumeHolding(roots, QDir::currentPath());
        const QSignalBlocker quiet(chooser);
        chooser->setCurrentIndex(current >= 0 ? current : 0);
    }
}

// Appends one free-space row for the drive just chosen, once the volume has
// answered.
void Form1::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (root.isEmpty() || !driveQueries)
        return;
    // A volume that cannot be queried (unmounted meanwhile, no medium, a
    // network that does not answer in time) gets no row rather than an
    // earlier drive's figures. The rows keep the order of the picks.
    driveQueries->ask(FreeSpace::queryRoot(root), [this, root](const std::optional<DiskFreeSpace> &space) {
        // The answer comes later: the program may be ending by then.
        if (!space || m_ctx.m.exitAllowed)
            return;
        const std::optional<FreeSpace::Figures> figures = FreeSpace::figures(
            space->sectorsPerCluster, space->bytesPerSector, space->freeClusters, space->totalClusters);
        if (figures)
            m_ctx.summary.appendRow(FreeSpace::rowText(FreeSpace::drivePart(root), *figures));
    });
}
