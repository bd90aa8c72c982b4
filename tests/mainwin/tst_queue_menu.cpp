#include "model/texts.h"
#include "support/pickers.h"
#include "support/test_app.h"

#include <QAccessible>
#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTreeView>
#include <QtTest>

namespace {

MoveTask task(const QString &path, const QString &mode)
{
    MoveTask t;
    t.name = path.section(u'/', -1);
    t.sourcePath = path;
    t.destination = QStringLiteral("/dest/");
    t.mode = mode;
    return t;
}

QStringList marks(const Form1 &f)
{
    QStringList out;
    for (QAction *a : {f.use.copy, f.use.cut, f.use.redele})
        if (a->isChecked())
            out << a->text();
    return out;
}

} // namespace

class TestQueueMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void rowActionsOnAnEmptyQueueShowTheNoRecordMessage()
    {
        TestApp app;
        for (int i = 0; i < 5; ++i)
            app.dialogs.expectMessage(QStringLiteral("当前没有指定记录，无法进行操作！！"), QStringLiteral("Korvan"));
        app.form1->use.readd->trigger();
        app.form1->use.copy->trigger();
        app.form1->use.cut->trigger();
        app.form1->use.redele->trigger();
        app.form1->use.move->trigger();
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件共有0个"));
        QVERIFY(marks(*app.form1).isEmpty());
        VERIFY_DIALOGS(app.dialogs);
    }

    void clearingAnEmptyQueueSilentlyWritesTheRunningTexts()
    {
        TestApp app;
        app.form1->use.allclear->trigger();
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有0个"));
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("共要移动的文件个数有0个"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void rowActionsWithoutALiveClickedRowTouchNothing()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        // Nothing clicked since start-up.
        app.dialogs.expectMessage(Texts::NoRecord, Texts::TitleKorvan);
        app.form1->moveRow();
        QCOMPARE(app.ctx.queue.count(), 2);
        // The clicked row was removed: the next action must not hit another row.
        app.form1->ListView1_ItemClick(0);
        app.form1->moveRow();
        QCOMPARE(app.ctx.queue.count(), 1);
        app.dialogs.expectMessage(Texts::NoRecord, Texts::TitleKorvan);
        app.dialogs.expectMessage(Texts::NoRecord, Texts::TitleKorvan);
        app.form1->moveRow();
        app.form1->changeMode(Texts::ModeCut);
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(app.ctx.queue.task(0).mode, Texts::ModeCopy);
        QCOMPARE(app.ctx.queue.counters().copyCount, 1);
        VERIFY_DIALOGS(app.dialogs);
    }

    void clickingARowShowsItsModeInTheSubmenu()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeDelete));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCut));
        app.ctx.queue.appendTask(task(QStringLiteral("/c"), QStringLiteral("其他")));
        app.form1->show();
        QTest::mouseClick(app.form1->ListView1->viewport(), Qt::LeftButton, {},
                          app.form1->ListView1->visualRect(app.ctx.queue.index(0, 0)).center());
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("删除")});
        QCOMPARE(app.ctx.queue.positionOf(app.ctx.m.currentRow), 0);
        app.form1->ListView1_ItemClick(1);
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("剪贴")});
        // Any other word leaves the marks as they were.
        app.form1->ListView1_ItemClick(2);
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("剪贴")});
        QCOMPARE(app.ctx.queue.positionOf(app.ctx.m.currentRow), 2);
    }

    void changingTheModeMovesOneCountAndLeavesTheTotal()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.form1->ListView1_ItemClick(0);
        app.ctx.summary.setText(4, QStringLiteral("kept"));
        app.form1->use.cut->trigger();
        QCOMPARE(app.ctx.queue.task(0).mode, Texts::ModeCut);
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有0个"));
        QCOMPARE(app.ctx.summary.text(2), QStringLiteral("剪贴的文件有1个"));
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("kept"));
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("剪贴")});
        // The same word again changes no count, and the mark stays.
        app.form1->use.cut->trigger();
        QCOMPARE(app.ctx.queue.counters().cutCount, 1);
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("剪贴")});
        app.form1->use.redele->trigger();
        QCOMPARE(app.ctx.summary.text(3), QStringLiteral("删除的文件有1个"));
        QCOMPARE(marks(*app.form1), QStringList {QStringLiteral("删除")});
    }

    void removingARowUncountsItEvenWithAnUnknownWord()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), QStringLiteral("其他")));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        app.form1->ListView1_ItemClick(0);
        app.form1->use.move->trigger();
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(app.ctx.summary.text(4), QStringLiteral("共要移动的文件个数有1个"));
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有1个"));
    }

    void aCancelledPickerKeepsTheDestinationAndAChoiceReplacesIt()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.form1->ListView1_ItemClick(0);
        // Cancelled with no default destination yet: the queued one stays.
        expectDestinationCancelled(app.dialogs);
        app.form1->use.readd->trigger();
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/dest/"));
        // Cancelled with another default: still the row's own.
        app.ctx.m.defaultDest = QStringLiteral("/elsewhere/");
        expectDestinationCancelled(app.dialogs);
        app.form1->readd();
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/dest/"));

        expectDestinationChosen(app.dialogs, QStringLiteral("/media/Backup"));
        app.form1->readd();
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/media/Backup/"));
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/media/Backup/"));
        QCOMPARE(app.ctx.queue.counters().totalCount, 1);
        VERIFY_DIALOGS(app.dialogs);
    }

    void aRowRemovedWhileThePickerIsOpenIsLeftAlone()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.ctx.queue.appendTask(task(QStringLiteral("/b"), Texts::ModeCopy));
        app.form1->ListView1_ItemClick(0);
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) { app.ctx.queue.removeTask(0); };
        expectDestinationChosen(app.dialogs, QStringLiteral("/x"));
        app.form1->readd();
        QCOMPARE(app.ctx.queue.count(), 1);
        QCOMPARE(app.ctx.queue.task(0).destination, QStringLiteral("/dest/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void remarksAndTrialRunsActOnTheirRows()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.form1->ListView1->setCurrentIndex(app.ctx.queue.index(0, 0));
        app.dialogs.expectInput(QStringLiteral("请输入备注:"), QStringLiteral("Korvan"), QStringLiteral("给老板"));
        app.form1->use.ADDMEMO->trigger();
        QCOMPARE(app.ctx.queue.task(0).remark, QStringLiteral("给老板"));
        app.dialogs.expectInputCancelled(QStringLiteral("请输入备注:"), QStringLiteral("Korvan"));
        app.form1->ADDMEMO();
        QCOMPARE(app.ctx.queue.task(0).remark, QStringLiteral("给老板"));
        app.dialogs.expectInput(QStringLiteral("请输入备注:"), QStringLiteral("Korvan"), QString());
        app.form1->ADDMEMO();
        QCOMPARE(app.ctx.queue.task(0).remark, QString());
        app.form1->use.TRYUSE->trigger();
        QCOMPARE(app.shell.openedPaths, QStringList {QStringLiteral("/a")});
        QCOMPARE(app.ctx.summary.text(1), QStringLiteral("复制的文件有1个"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void closingOrMinimisingOnlyHidesTheWindow()
    {
        TestApp app;
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        app.form1->show();
        QVERIFY(app.form1->isVisible());
        QVERIFY(!app.form1->close());
        QVERIFY(app.form1->isHidden());
        app.form1->toggleShown();
        QVERIFY(app.form1->isVisible());
        app.form1->showMinimized();
        QTRY_VERIFY(app.form1->isHidden());
        // Brought back in the normal state, with the queue as it was.
        app.form1->toggleShown();
        QVERIFY(app.form1->isVisible());
        QVERIFY(!app.form1->isMinimized());
        QCOMPARE(app.ctx.queue.count(), 1);
    }

    void anEmptyQueueShowsAHintThatIsNoRow()
    {
        TestApp app;
        app.form1->show();
        QTreeView *view = app.form1->ListView1;
        const QColor base = view->palette().color(QPalette::Base);
        // Whether anything but the list's background is painted from line y down.
        const auto paintedFrom = [&](int y0) {
            const QImage image = view->viewport()->grab().toImage();
            for (int y = y0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixelColor(x, y) != base)
                        return true;
            return false;
        };
        // Below where one row ends (measured with a row in place).
        app.ctx.queue.appendTask(task(QStringLiteral("/a"), Texts::ModeCopy));
        const int belowRow = view->visualRect(app.ctx.queue.index(0, 0)).bottom() + 1;
        QVERIFY(!paintedFrom(belowRow));
        app.ctx.queue.removeTask(0);

        QVERIFY(paintedFrom(belowRow));
        // The hint is no row: nothing counts it, reports it or reads it out.
        QCOMPARE(app.ctx.queue.count(), 0);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(view);
        QVERIFY(iface && iface->tableInterface());
        QCOMPARE(iface->tableInterface()->rowCount(), 0);
        app.dialogs.expectMessage(QStringLiteral("没有任何记录 无法生成报表！！"));
        app.form1->crtxt();
        VERIFY_DIALOGS(app.dialogs);
    }

    void aDoubleClickOnTheQueuePopsUpTheMenu()
    {
        TestApp app;
        app.form1->show();
        bool shown = false;
        QTimer::singleShot(50, app.form1, [&] {
            shown = app.form1->use.menu->isVisible();
            app.form1->use.menu->close();
        });
        QTest::mouseDClick(app.form1->ListView1->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(shown);
    }
};

QTEST_MAIN(TestQueueMenu)
#include "tst_queue_menu.moc"
