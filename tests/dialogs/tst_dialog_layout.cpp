#include "dialogs/about_box.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_pickers.h"
#include "support/test_app.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

namespace {

// The controls a user reads or clicks, leaving out the inner parts of
// composite widgets (a combo box's line edit, a tab bar's scroll buttons).
QList<QWidget *> controlsOf(QWidget *window)
{
    QList<QWidget *> out;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (qobject_cast<QComboBox *>(w->parentWidget()) || qobject_cast<QTabBar *>(w->parentWidget()))
            continue;
        if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLabel *>(w) || qobject_cast<QLineEdit *>(w)
            || qobject_cast<QComboBox *>(w) || qobject_cast<QGroupBox *>(w) || qobject_cast<QAbstractItemView *>(w))
            out << w;
    }
    return out;
}

QString nameOf(QWidget *w)
{
    const QString text = w->property("text").toString();
    return QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName() + u' ' + text;
}

// Every control gets at least the room its text needs, lies inside its
// parent, and overlaps none of its siblings.
void verifyLaidOut(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    const QList<QWidget *> controls = controlsOf(window);
    QVERIFY(controls.size() > 4);
    for (QWidget *w : controls) {
        QSize need = w->minimumSizeHint();
        // Styles give push buttons a least width of their own; what matters
        // is that the caption fits.
        if (auto *b = qobject_cast<QPushButton *>(w))
            need.setWidth(b->fontMetrics().horizontalAdvance(b->text()) + 8);
        QVERIFY2(w->width() >= need.width() && w->height() >= need.height(), qPrintable(nameOf(w)));
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(nameOf(w)));
        for (QWidget *other : controls) {
            if (other != w && other->parentWidget() == w->parentWidget())
                QVERIFY2(!w->geometry().intersects(other->geometry()),
                         qPrintable(nameOf(w) + QStringLiteral(" / ") + nameOf(other)));
        }
    }
}

} // namespace

class TestDialogLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void addTaskDialogFitsItsTexts()
    {
        TestApp app;
        Form4 &f = *app.form4;
        f.Text1->setText(QStringLiteral("/home/ann/音乐/一首很长很长的歌的名字.mp3"));
        verifyLaidOut(&f);
    }

    void pickersFitTheirTexts()
    {
        TestApp app;
        Form5 dest(app.ctx);
        verifyLaidOut(&dest);
        Form2 source(app.ctx);
        verifyLaidOut(&source);
    }

    void aboutBoxFitsItsTexts()
    {
        TestApp app;
        Form6 about(app.ctx);
        verifyLaidOut(&about);
    }
};

QTEST_MAIN(TestDialogLayout)
#include "tst_dialog_layout.moc"
