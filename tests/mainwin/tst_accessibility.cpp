#include "candidates/candidate_window.h"
#include "dialogs/about_box.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_pickers.h"
#include "dialogs/run_results_window.h"
#include "gui/accessibility.h"
#include "panel/panel_window.h"
#include "support/test_app.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QtTest>

namespace {

QStringList unnamedMenuEntries(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            continue;
        if (a->text().trimmed().isEmpty())
            out << QStringLiteral("entry without text in %1").arg(menu->title());
        if (a->menu())
            out << unnamedMenuEntries(a->menu());
    }
    return out;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void everyControlOfEveryWindowHasAName()
    {
        TestApp app;
        QWidget *windows[] = {app.form1, app.form3, app.form4, app.form7, app.windows.runResults()};
        for (QWidget *w : windows) {
            const QStringList unnamed = unnamedControls(w);
            QVERIFY2(unnamed.isEmpty(), qPrintable(w->objectName() + QStringLiteral(": ") + unnamed.join(u", ")));
        }
        Form5 form5(app.ctx);
        Form2 form2(app.ctx);
        for (QWidget *w : {static_cast<QWidget *>(&form5), static_cast<QWidget *>(&form2)}) {
            const QStringList unnamed = unnamedControls(w);
            QVERIFY2(unnamed.isEmpty(), qPrintable(w->windowTitle() + QStringLiteral(": ") + unnamed.join(u", ")));
        }
    }

    void thePanelSaysWhatItIs()
    {
        TestApp app;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(app.form3);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Korvan 面板"));
        QVERIFY(!iface->text(QAccessible::Description).isEmpty());
    }

    void thePanelCanBeOperatedWithoutAMouse()
    {
        TestApp app;
        app.form1->show();
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(app.form3);
        QAccessibleActionInterface *actions = iface ? iface->actionInterface() : nullptr;
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));

        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(app.form1->isHidden());
        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(app.form1->isVisible());

        bool shown = false;
        QTimer::singleShot(100, app.form1, [&] {
            shown = app.form1->syswork.menu->isVisible();
            app.form1->syswork.menu->close();
        });
        actions->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(shown);
    }

    void everyMenuEntryCanBeRead()
    {
        TestApp app;
        QStringList unnamed = unnamedMenuEntries(app.form1->use.menu) + unnamedMenuEntries(app.form1->syswork.menu);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u", ")));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
