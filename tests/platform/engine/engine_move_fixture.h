#pragma once

#include "support/engine_test_files.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

// Every engine test reads and writes its files through these helpers.
using namespace EngineTestFiles;

// A source tree with a bit of everything a move must carry over.
inline void makeTree(const QByteArray &root)
{
    makeDirs(root + "/sub/deeper");
    writeFile(root + "/top.txt", "top");
    writeFile(root + "/sub/deeper/data.bin", QByteArray(100000, 'q'));
    writeFile(root + "/sub/with space\nand newline", "odd");
    writeFile(root + "/sub/" + QByteArray("\xff\xfe", 2), "not utf-8");
    symlink("../top.txt", QByteArray(root + "/sub/link").constData());
    chmod(QByteArray(root + "/top.txt").constData(), 0640);
    const struct timespec old[2] = {{1000000000, 0}, {1111111111, 0}};
    utimensat(AT_FDCWD, QByteArray(root + "/top.txt").constData(), old, 0);
    utimensat(AT_FDCWD, QByteArray(root + "/sub").constData(), old, 0);
}

inline void verifyTree(const QByteArray &root)
{
    QCOMPARE(readFile(root + "/top.txt"), QByteArray("top"));
    QCOMPARE(readFile(root + "/sub/deeper/data.bin"), QByteArray(100000, 'q'));
    QCOMPARE(readFile(root + "/sub/with space\nand newline"), QByteArray("odd"));
    QCOMPARE(readFile(root + "/sub/" + QByteArray("\xff\xfe", 2)), QByteArray("not utf-8"));
    QVERIFY(S_ISLNK(statOf(root + "/sub/link").st_mode));
    QCOMPARE(statOf(root + "/top.txt").st_mode & 07777, mode_t(0640));
    QCOMPARE(qint64(statOf(root + "/top.txt").st_mtim.tv_sec), qint64(1111111111));
    QCOMPARE(qint64(statOf(root + "/sub").st_mtim.tv_sec), qint64(1111111111));
}

// The places the move tests work in: a folder on the disk, one under
// /dev/shm (a second volume where there is one) and the data home that
// takes the trash of replaced files. Emptied after every test.
class EngineMoveFixture
{
protected:
    void setUpVolumes()
    {
        m_disk = new QTemporaryDir;
        m_shm = new QTemporaryDir(QStringLiteral("/dev/shm/korvan-test-XXXXXX"));
        m_data = new QTemporaryDir;
        qputenv("XDG_DATA_HOME", bytes(m_data->path()));
    }

    void tearDownVolumes()
    {
        emptyVolumes();
        delete m_disk;
        delete m_shm;
        delete m_data;
    }

    void emptyVolumes()
    {
        for (QTemporaryDir *dir : {m_disk, m_shm, m_data}) {
            if (!dir->isValid())
                continue;
            const QByteArray root = bytes(dir->path());
            for (const QString &entry : listTree(root)) {
                if (!entry.contains(QLatin1Char('/')))
                    removeTree(root + '/' + bytes(entry));
            }
        }
    }

    void requireTwoVolumes()
    {
        if (!m_shm->isValid())
            QSKIP("/dev/shm is not usable here, so no second volume for the cross-volume case");
        if (statOf(bytes(m_disk->path())).st_dev == statOf(bytes(m_shm->path())).st_dev)
            QSKIP("the temporary folder and /dev/shm are on the same volume; cannot test a cross-volume move");
    }

    // A small tmpfs mounted at where (root only); empty when it cannot be had.
    QByteArray mountSmallVolume(const QByteArray &where, const char *size)
    {
        if (geteuid() != 0 || !makeDirs(where))
            return QByteArray();
        const QByteArray options = QByteArray("size=") + size;
        if (mount("tmpfs", where.constData(), "tmpfs", 0, options.constData()) != 0)
            return QByteArray();
        return where;
    }

    QTemporaryDir *m_data = nullptr; // XDG_DATA_HOME: the trash of replaced files
    QTemporaryDir *m_disk = nullptr; // under /tmp
    QTemporaryDir *m_shm = nullptr; // under /dev/shm (tmpfs)
};
