#include "dialogs/add_task_dialog.h"
#include "model/texts.h"
#include "panel/panel_window.h"
#include "program/session_end.h"
#include "support/drops.h"
#include "support/test_app.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSessionManager>
#include <QTreeView>
#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void mainWindowStartsAsDesigned()
    {
        TestApp app;
        Form1 &f = *app.form1;
        QCOMPARE(f.windowTitle(), QStringLiteral("Korvan"));
        QCOMPARE(f.size(), QSize(495, 342));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.Label1->text(), QStringLiteral("Pellavo 精品奉献 追求完美与进步"));
        QVERIFY(!f.ProgressBar1->isHidden());
        QCOMPARE(f.ProgressBar1->value(), 0);

        const int widths[] = {96, 96, 96, 96, 67, 296};
        QCOMPARE(f.ListView1->model()->columnCount(), 6);
        for (int c = 0; c < 6; ++c)
            QCOMPARE(f.ListView1->columnWidth(c), widths[c]);
        QCOMPARE(f.ListView1->model()->headerData(5, Qt::Horizontal).toString(), QStringLiteral("备注"));

        QAbstractItemModel *summary = f.ListView2->model();
        QCOMPARE(summary->rowCount(), 4);
        QCOMPARE(summary->index(0, 0).data().toString(), QStringLiteral("复制的文件共有0个"));
        QCOMPARE(summary->index(1, 0).data().toString(), QStringLiteral("剪贴的文件共有0个"));
        QCOMPARE(summary->index(2, 0).data().toString(), QStringLiteral("删除的文件共有0个"));
        QCOMPARE(summary->index(3, 0).data().toString(), QStringLiteral("移动文件的总和为0"));
        QCOMPARE(f.ListView2->columnWidth(0), 296);
    }

    void sharedStateAndMarksStartAsDesigned()
    {
        TestApp app;
        QCOMPARE(app.ctx.m.defaultMode, QStringLiteral("复制"));
        QVERIFY(app.ctx.m.defaultDest.isEmpty());
        QVERIFY(!app.ctx.m.useDefaults);
        QVERIFY(!app.ctx.m.pauseFlag);
        QVERIFY(!app.ctx.m.exitAllowed);
        QCOMPARE(app.form4->StartMode, QStringLiteral("手动"));
        QVERIFY(app.form4->isHidden());

        // Only the panel menu's "复制" default-mode mark is set.
        const Form1 &f = *app.form1;
        QVERIFY(f.syswork.upcopy->isChecked());
        for (QAction *a : {f.syswork.upcut, f.syswork.updele, f.syswork.st_mode, f.syswork.allstart, f.use.main_strat,
                           f.use.copy, f.use.cut, f.use.redele})
            QVERIFY2(!a->isChecked(), qPrintable(a->text()));
    }

    void panelFloatsBorderlessAboveEverything()
    {
        TestApp app;
        Form3 *panel = app.form3;
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->size(), QSize(37, 36));
        QCOMPARE(panel->pos(), QPoint(622, 62));
        const Qt::WindowFlags flags = panel->windowFlags();
        QVERIFY(flags & Qt::FramelessWindowHint);
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        // A tool window is left out of the task bar.
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(panel->acceptDrops());
    }

    void menusListTheirEntriesInOrder()
    {
        TestApp app;
        auto captions = [](QMenu *m) {
            QStringList out;
            for (QAction *a : m->actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        QCOMPARE(captions(app.form1->use.menu),
                 (QStringList {QStringLiteral("新建任务..."), QStringLiteral("-"), QStringLiteral("修改目地地址"),
                               QStringLiteral("修改移动方式"), QStringLiteral("添加备份.."), QStringLiteral("-"),
                               QStringLiteral("全部开始"), QStringLiteral("全部暂停"), QStringLiteral("-"),
                               QStringLiteral("移除当前记录？"), QStringLiteral("全部清空？"), QStringLiteral("-"),
                               QStringLiteral("试运行？")}));
        QCOMPARE(captions(app.form1->use.rerunmode),
                 (QStringList {QStringLiteral("复制"), QStringLiteral("剪贴"), QStringLiteral("删除")}));
        QCOMPARE(captions(app.form1->syswork.menu),
                 (QStringList {QStringLiteral("(打开/关闭)主窗口"), QStringLiteral("-"), QStringLiteral("全部开始"),
                               QStringLiteral("全部暂停"), QStringLiteral("-"), QStringLiteral("重新设置目地地址"),
                               QStringLiteral("重新设置运行方式"), QStringLiteral("开启默认设置"),
                               QStringLiteral("复制后校验"), QStringLiteral("-"), QStringLiteral("新建任务..."),
                               QStringLiteral("生成报表"), QStringLiteral("-"), QStringLiteral("关于..."),
                               QStringLiteral("-"), QStringLiteral("关闭")}));
        QCOMPARE(captions(app.form1->syswork.updaterunmode),
                 (QStringList {QStringLiteral("复制"), QStringLiteral("剪贴"), QStringLiteral("删除")}));
        // No entry is ever disabled.
        for (QAction *a : app.form1->use.menu->actions() + app.form1->syswork.menu->actions())
            QVERIFY(a->isEnabled());
    }

    void savingTheSessionLeavesTheProgramWorking()
    {
        TestApp app;
        SessionEnd session(app.ctx, app.form3);
        QSessionManager *manager = qApp->findChild<QSessionManager *>();
        QVERIFY(manager);
        // A checkpoint, then a logout the user cancels.
        emit qApp->saveStateRequest(*manager);
        emit qApp->commitDataRequest(*manager);
        emit qApp->commitDataRequest(*manager);
        QVERIFY(!app.ctx.m.exitAllowed);

        // Drops are taken, the add-task dialog's buttons work, the queue runs.
        dropPaths(app.form3, {QStringLiteral("/music/a.mp3")});
        Form4 &f = *app.form4;
        QVERIFY(f.isVisible());
        QCOMPARE(f.Text1->text(), QStringLiteral("/music/a.mp3"));
        f.Combo1->setCurrentText(QStringLiteral("/bak/"));
        f.Command5->click();
        QCOMPARE(app.ctx.queue.count(), 1);
        QVERIFY(f.isHidden());
        app.form1->main_strat();
        QCOMPARE(app.engine.performed.size(), 1);
        QCOMPARE(app.engine.performed.first().pFrom, QStringLiteral("/music/a.mp3"));
        // The windows still only hide.
        app.form1->show();
        QVERIFY(!app.form1->close());
        QVERIFY(!app.form3->close());
    }

    void theEndOfTheSessionEndsTheProgramTheSafeWay()
    {
        TestApp app;
        SessionEnd session(app.ctx, app.form3);
        for (int i = 1; i <= 3; ++i) {
            MoveTask t;
            t.sourcePath = QStringLiteral("/src/f%1").arg(i);
            t.destination = QStringLiteral("/bak/");
            t.mode = Texts::ModeCopy;
            app.ctx.queue.appendTask(t);
        }
        app.form1->show();
        // The session manager's last word arrives while the first task runs.
        app.engine.onPerform = [&](const FileOpRecord &) {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        };
        app.form1->main_strat();
        QVERIFY(app.ctx.m.exitAllowed);
        QCOMPARE(app.engine.cancelRequests, 1);
        QCOMPARE(app.engine.performed.size(), 1);
        QVERIFY(app.form1->isHidden());
        QVERIFY(app.form3->isHidden());
        QCOMPARE(app.ctx.busyDepth, 0);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
