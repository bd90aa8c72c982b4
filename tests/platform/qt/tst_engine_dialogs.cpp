#include "platform/engine/engine_texts.h"
#include "platform/qt/engine_dialogs.h"
#include "platform/qt/engine_preflight_dialog.h"
#include "support/scripted_dialogs.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

class TestEngineDialogs : public QObject
{
    Q_OBJECT

private slots:
    void conflictDialogNamesBothSides();
    void conflictButtonsGiveTheirAnswers_data();
    void conflictButtonsGiveTheirAnswers();
    void errorDialogButtons_data();
    void errorDialogButtons();
    void progressShowsCountsSpeedAndTimeLeft();
    void progressCancelWaitsForTheOperation();
    void yesNoQuestionsUseTheProgramsOwnBox();
    void theDialogsCannotBeResized();
    void progressShowsTheVerifyingPhase();
    void progressWhileCountingShowsNoShare();
    void preflightListsEveryItemAndAnswers_data();
    void preflightListsEveryItemAndAnswers();
};

namespace {

OverwriteQuestion sampleConflict()
{
    OverwriteQuestion question;
    question.source = {QStringLiteral("/from/报告.txt"), 2048, QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))};
    question.target = {QStringLiteral("/to/报告.txt"), 10, QDateTime(QDate(2023, 12, 31), QTime(23, 59, 0))};
    return question;
}

QStringList buttonTexts(QWidget *dialog)
{
    QStringList texts;
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        texts.append(button->text());
    texts.sort();
    return texts;
}

} // namespace

void TestEngineDialogs::conflictDialogNamesBothSides()
{
    EngineConflictDialog dialog(sampleConflict());
    const QString source = dialog.findChild<QLabel *>(QStringLiteral("sourceLabel"))->text();
    const QString target = dialog.findChild<QLabel *>(QStringLiteral("targetLabel"))->text();
    QVERIFY(source.contains(QStringLiteral("/from/报告.txt")));
    QVERIFY(source.contains(QStringLiteral("2.0 KB")));
    QVERIFY(source.contains(QStringLiteral("2024-03-05 14:07:09")));
    QVERIFY(target.contains(QStringLiteral("/to/报告.txt")));
    QVERIFY(target.contains(QStringLiteral("10 字节")));
    QVERIFY(target.contains(QStringLiteral("2023-12-31 23:59:00")));
    QCOMPARE(buttonTexts(&dialog),
             (QStringList {QStringLiteral("全部覆盖"), QStringLiteral("取消"), QStringLiteral("覆盖"),
                           QStringLiteral("跳过")}));
    QCOMPARE(dialog.answer(), OverwriteAnswer::Cancel); // closing = cancel
}

void TestEngineDialogs::conflictButtonsGiveTheirAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<OverwriteAnswer>("answer");
    QTest::newRow("覆盖") << QStringLiteral("overwriteButton") << OverwriteAnswer::Overwrite;
    QTest::newRow("全部覆盖") << QStringLiteral("overwriteAllButton") << OverwriteAnswer::OverwriteAll;
    QTest::newRow("跳过") << QStringLiteral("skipButton") << OverwriteAnswer::Skip;
    QTest::newRow("取消") << QStringLiteral("cancelButton") << OverwriteAnswer::Cancel;
}

void TestEngineDialogs::conflictButtonsGiveTheirAnswers()
{
    QFETCH(QString, button);
    QFETCH(OverwriteAnswer, answer);
    EngineConflictDialog dialog(sampleConflict());
    dialog.show();
    dialog.findChild<QPushButton *>(button)->click();
    QCOMPARE(dialog.answer(), answer);
    QVERIFY(!dialog.isVisible());
}

void TestEngineDialogs::errorDialogButtons_data()
{
    QTest::addColumn<bool>("canRetry");
    QTest::addColumn<bool>("canSkip");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("item error") << true << true
                                << QStringList {QStringLiteral("取消"), QStringLiteral("跳过"), QStringLiteral("重试")};
    QTest::newRow("no retry") << false << true << QStringList {QStringLiteral("取消"), QStringLiteral("跳过")};
    QTest::newRow("refusal") << false << false << QStringList {QStringLiteral("确定")};
}

void TestEngineDialogs::errorDialogButtons()
{
    QFETCH(bool, canRetry);
    QFETCH(bool, canSkip);
    QFETCH(QStringList, buttons);
    ErrorQuestion question;
    question.path = QStringLiteral("/x/y.txt");
    question.action = QStringLiteral("复制");
    question.reason = QStringLiteral("Permission denied");
    question.canRetry = canRetry;
    question.canSkip = canSkip;
    EngineErrorDialog dialog(question);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("whatLabel"))->text().contains(QStringLiteral("复制“/x/y.txt”")));
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("reasonLabel"))
                ->text()
                .contains(QStringLiteral("Permission denied")));
    QCOMPARE(buttonTexts(&dialog), buttons);
    if (canRetry) {
        dialog.findChild<QPushButton *>(QStringLiteral("retryButton"))->click();
        QCOMPARE(dialog.answer(), ErrorAnswer::Retry);
    }
    if (canSkip) {
        dialog.findChild<QPushButton *>(QStringLiteral("skipButton"))->click();
        QCOMPARE(dialog.answer(), ErrorAnswer::Skip);
        dialog.findChild<QPushButton *>(QStringLiteral("cancelButton"))->click();
        QCOMPARE(dialog.answer(), ErrorAnswer::Cancel);
    }
}

void TestEngineDialogs::progressShowsCountsSpeedAndTimeLeft()
{
    EngineProgressDialog dialog;
    dialog.setOperationTitle(QStringLiteral("正在复制"));
    FileOpProgress progress;
    progress.currentPath = QStringLiteral("/src/文件.bin");
    progress.filesDone = 3;
    progress.filesTotal = 10;
    progress.bytesDone = 100 * 1024 * 1024;
    progress.bytesTotal = 400 * 1024 * 1024;
    progress.elapsedMs = 2000;
    dialog.updateProgress(progress);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("正在复制"));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("countLabel"))->text(),
             QStringLiteral("已完成 3 / 10 个文件，100.0 MB / 400.0 MB"));
    // 50 MB/s with 300 MB to go: six seconds.
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("speedLabel"))->text(),
             QStringLiteral("速度：50.0 MB/秒    剩余时间：约 6 秒"));
    QCOMPARE(formatDuration(3725), QStringLiteral("约 1 小时 2 分"));
    QCOMPARE(formatDuration(65), QStringLiteral("约 1 分 5 秒"));
}

void TestEngineDialogs::progressCancelWaitsForTheOperation()
{
    EngineProgressDialog dialog;
    dialog.show();
    int requests = 0;
    connect(&dialog, &EngineProgressDialog::cancelRequested, this, [&] { ++requests; });
    auto *cancel = dialog.findChild<QPushButton *>(QStringLiteral("cancelButton"));
    QCOMPARE(cancel->text(), QStringLiteral("取消"));
    cancel->click();
    QCOMPARE(requests, 1);
    QVERIFY(dialog.isVisible()); // it goes when the operation has stopped
    QVERIFY(!cancel->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(requests, 2);
}

// The engine's Yes/No questions are the program's one Yes/No box, with its
// placement and plain text, not a second box of their own.
void TestEngineDialogs::yesNoQuestionsUseTheProgramsOwnBox()
{
    ScriptedDialogs dialogs;
    DialogEngineQuestions questions(nullptr, &dialogs);
    dialogs.expectYesNo(EngineTexts::ConfirmTrash.arg(QStringLiteral("/a/<b>R&D</b>")), EngineTexts::ConfirmTitle,
                        UserDialogs::Answer::No);
    dialogs.expectYesNo(EngineTexts::ConfirmCreateFolder.arg(QStringLiteral("/new")), EngineTexts::ConfirmTitle,
                        UserDialogs::Answer::Yes);
    QVERIFY(!questions.confirmTrash(QStringLiteral("/a/<b>R&D</b>")));
    QVERIFY(questions.confirmCreateFolder(QStringLiteral("/new")));
    VERIFY_DIALOGS(dialogs);
}

void TestEngineDialogs::theDialogsCannotBeResized()
{
    // A resizable window gets a window manager's grip along its bottom edge
    // (a double line in openbox): these have nothing to gain from resizing.
    ErrorQuestion error;
    error.path = QStringLiteral("/from/报告.txt");
    error.reason = QStringLiteral("找不到文件或文件夹");
    error.canSkip = true;
    EngineProgressDialog progress;
    progress.setCurrentPath(QStringLiteral("/from/报告.txt"));
    EngineConflictDialog conflict(sampleConflict());
    EngineErrorDialog failure(error);
    for (QDialog *dialog :
         {static_cast<QDialog *>(&progress), static_cast<QDialog *>(&conflict), static_cast<QDialog *>(&failure)}) {
        dialog->show();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(!dialog->minimumSize().isEmpty());
        dialog->hide();
    }
}

// Where KORVAN_GRAB_DIR is set, the window as drawn goes there as a PNG
// (to look at it, at 100 % and QT_SCALE_FACTOR=1.5).
static void grabIfAsked(QWidget *window, const QString &name)
{
    const QString dir = qEnvironmentVariable("KORVAN_GRAB_DIR");
    if (dir.isEmpty())
        return;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->grab().save(dir + u'/' + name + QStringLiteral(".png"));
}

void TestEngineDialogs::progressShowsTheVerifyingPhase()
{
    EngineProgressDialog dialog;
    dialog.setOperationTitle(QStringLiteral("正在复制"));
    FileOpProgress progress;
    progress.currentPath = QStringLiteral("/media/stick/照片/2024.mp4");
    progress.filesDone = 1;
    progress.filesTotal = 2;
    progress.bytesDone = 300 * 1024 * 1024;
    progress.bytesTotal = 400 * 1024 * 1024;
    progress.bytesVerified = 100 * 1024 * 1024;
    progress.elapsedMs = 2000;
    progress.verifying = true;
    dialog.updateProgress(progress);
    auto *phase = dialog.findChild<QLabel *>(QStringLiteral("speedLabel"));
    QVERIFY(phase->text().startsWith(QStringLiteral("正在校验…")));
    QVERIFY(phase->text().contains(QStringLiteral("100.0 MB / 400.0 MB")));
    grabIfAsked(&dialog, QStringLiteral("verifying"));
    // Back to copying: the speed again.
    progress.verifying = false;
    dialog.updateProgress(progress);
    QVERIFY(phase->text().startsWith(QStringLiteral("速度：")));
}

// The totals grow while the copy runs: the counts show, with the words that
// say so, but no share done and no time left, until the totals are known.
void TestEngineDialogs::progressWhileCountingShowsNoShare()
{
    EngineProgressDialog dialog;
    dialog.setOperationTitle(QStringLiteral("正在复制"));
    FileOpProgress progress;
    progress.currentPath = QStringLiteral("/src/照片/0001.jpg");
    progress.filesDone = 3;
    progress.filesTotal = 10;
    progress.bytesDone = 100 * 1024 * 1024;
    progress.bytesTotal = 200 * 1024 * 1024;
    progress.elapsedMs = 2000;
    progress.counting = true;
    dialog.updateProgress(progress);
    auto *bar = dialog.findChild<QProgressBar *>();
    auto *count = dialog.findChild<QLabel *>(QStringLiteral("countLabel"));
    auto *speed = dialog.findChild<QLabel *>(QStringLiteral("speedLabel"));
    QVERIFY(count->text().startsWith(QStringLiteral("已完成 3 / 10 个文件，100.0 MB / 200.0 MB")));
    QVERIFY(count->text().endsWith(QStringLiteral("正在统计…")));
    QCOMPARE(speed->text(), QStringLiteral("速度：50.0 MB/秒    剩余时间：—"));
    QCOMPARE(bar->maximum(), 0); // a busy bar
    QVERIFY(!bar->text().contains(u'%'));
    grabIfAsked(&dialog, QStringLiteral("counting"));

    // Counted: the share and the time left.
    progress.counting = false;
    progress.bytesTotal = 400 * 1024 * 1024;
    dialog.updateProgress(progress);
    QCOMPARE(count->text(), QStringLiteral("已完成 3 / 10 个文件，100.0 MB / 400.0 MB"));
    QCOMPARE(speed->text(), QStringLiteral("速度：50.0 MB/秒    剩余时间：约 6 秒"));
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->text(), QStringLiteral("25%"));
}

void TestEngineDialogs::preflightListsEveryItemAndAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::addRow("跳过这些项目") << QStringLiteral("skipButton") << int(PreflightAnswer::SkipItems);
    QTest::addRow("取消") << QStringLiteral("cancelButton") << int(PreflightAnswer::Cancel);
    QTest::addRow("closed") << QString() << int(PreflightAnswer::Cancel);
}

void TestEngineDialogs::preflightListsEveryItemAndAnswers()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    PreflightQuestion question;
    question.items = {{QStringLiteral("/home/user/照片/a:b.jpg"), EngineTexts::PreflightForbiddenCharacter},
                      {QStringLiteral("/home/user/照片/CON.txt"), EngineTexts::PreflightReservedName},
                      {QStringLiteral("/home/user/视频/整片.mkv"), EngineTexts::PreflightTooBigForFat}};
    question.itemCount = 5; // two more than listed
    EnginePreflightDialog dialog(question);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("headerLabel"))->text(),
             QStringLiteral("目标磁盘不能保存以下 5 个项目："));
    const QStringList lines
        = dialog.findChild<QPlainTextEdit *>(QStringLiteral("itemList"))->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).contains(QStringLiteral("/home/user/照片/a:b.jpg")));
    QVERIFY(lines.at(0).contains(EngineTexts::PreflightForbiddenCharacter));
    QVERIFY(lines.at(3).contains(QStringLiteral("2")));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("skipButton"))->text(), QStringLiteral("跳过这些项目"));
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("cancelButton"))->text(), QStringLiteral("取消"));
    if (button == QStringLiteral("skipButton"))
        grabIfAsked(&dialog, QStringLiteral("preflight"));
    if (button.isEmpty())
        dialog.reject();
    else
        dialog.findChild<QPushButton *>(button)->click();
    QCOMPARE(int(dialog.answer()), answer);
}

QTEST_MAIN(TestEngineDialogs)
#include "tst_engine_dialogs.moc"
