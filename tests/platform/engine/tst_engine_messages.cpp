// What the engine tells the user: Chinese reasons, and the paths the user
// knows (never the hidden staging folder of a cross-volume move).
#include "engine_move_fixture.h"
#include "platform/engine/engine_texts.h"
#include "platform/engine/fs_util.h"
#include "support/engine_scripted_questions.h"

#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

class TestEngineMessages : public QObject, private EngineMoveFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpVolumes(); }
    void cleanupTestCase() { tearDownVolumes(); }
    void cleanup() { emptyVolumes(); }
    void reasonsAreChinese_data();
    void reasonsAreChinese();
    void failureInsideTheStagingNamesTheTarget();
};

void TestEngineMessages::reasonsAreChinese_data()
{
    QTest::addColumn<int>("errorCode");
    // Damaged file systems, network volumes that went away, limits.
    for (const int code :
         {EUCLEAN, EBADMSG, EIO,    ESTALE,     ENOTCONN, ETIMEDOUT, EHOSTDOWN, ENOMEDIUM, ENXIO,  ENODEV,
          EMFILE,  ENFILE,  ENOMEM, EOPNOTSUPP, ENOSYS,   EINVAL,    EOVERFLOW, ENODATA,   EAGAIN, EINTR})
        QTest::newRow(strerrorname_np(code)) << code;
}

void TestEngineMessages::reasonsAreChinese()
{
    QFETCH(int, errorCode);
    const QString reason = FsUtil::errorText(errorCode);
    QVERIFY2(!reason.startsWith(EngineTexts::SystemError.left(4)), qPrintable(reason));
    QVERIFY(reason.front().unicode() >= 0x3000);
}

void TestEngineMessages::failureInsideTheStagingNamesTheTarget()
{
    const QByteArray root = bytes(m_disk->path());
    const QByteArray small = mountSmallVolume(root + "/small", "1m");
    if (small.isEmpty())
        QSKIP("needs root to mount a small tmpfs as the other volume");
    auto unmount = qScopeGuard([&] { umount2(small.constData(), MNT_DETACH); });
    QVERIFY(makeDirs(root + "/src/sub"));
    makeBigFile(root + "/src/sub/huge.bin", 4 * 1024 * 1024);
    ScriptedEngineQuestions questions;
    QCOMPARE(runSync(moveRecord(text(root + "/src"), text(small)), questions, nullptr, withoutPreflight()).status,
             FileOpResult::Status::Failed);
    QCOMPARE(questions.errorQuestions.size(), 1);
    QCOMPARE(questions.errorQuestions.first().path, text(small + "/src/sub/huge.bin"));
    QVERIFY(exists(root + "/src/sub/huge.bin"));
}

QTEST_GUILESS_MAIN(TestEngineMessages)
#include "tst_engine_messages.moc"
