#include "dialogs/about_box.h"
#include "support/test_app.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void showsTheProductAuthorDateAndIcon()
    {
        TestApp app;
        Form6 about(app.ctx);
        QCOMPARE(about.windowTitle(), QStringLiteral("关于"));
        QCOMPARE(about.TabStrip1->count(), 1);
        QVERIFY(about.TabStrip1->tabText(0).isEmpty());
        QVERIFY(!about.TabStrip1->tabIcon(0).isNull());
        QVERIFY(!about.Picture1->pixmap().isNull());

        const QStringList lines = about.Label1->text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("Korvan 1.0 BATE(测试版)"));
        QVERIFY(lines.at(1).isEmpty());
        QVERIFY(lines.at(2).startsWith(QStringLiteral("制作人：")));
        QVERIFY(lines.at(2).size() > 4);
        QVERIFY(lines.at(3).startsWith(QStringLiteral("出产日期：")));
        QVERIFY(lines.at(3).size() > 5);
        QCOMPARE(about.Command1->text(), QStringLiteral("确定"));
        QVERIFY(about.Command2->text().contains(u'@'));
    }

    void mailButtonOpensAMailToTheAuthorAndStaysOpen()
    {
        TestApp app;
        Form6 about(app.ctx);
        about.show();
        about.Command2->click();
        QCOMPARE(app.shell.openedUrls.size(), 1);
        const QUrl &link = app.shell.openedUrls.first();
        QCOMPARE(link.toString(),
                 QStringLiteral("mailto:") + about.Command2->text() + QStringLiteral("?subject=给你的意见和建议"));
        QCOMPARE(link.scheme(), QStringLiteral("mailto"));
        QCOMPARE(link.path(), about.Command2->text());
        QCOMPARE(link.query(QUrl::FullyDecoded), QStringLiteral("subject=给你的意见和建议"));
        QVERIFY(about.isVisible());
        QVERIFY(app.dialogs.asked.isEmpty());

        about.Command1->click();
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }

    void panelMenuShowsItModally()
    {
        TestApp app;
        app.dialogs.expectModal([&](QDialog *d) {
            auto *about = qobject_cast<Form6 *>(d);
            if (!about || app.ctx.openModal != d)
                return int(QDialog::Rejected);
            about->Command1->click();
            return about->result();
        });
        app.form1->about();
        QVERIFY(!app.ctx.openModal);
        QCOMPARE(app.dialogs.asked.size(), 1);
        QCOMPARE(app.dialogs.asked.first().text, QStringLiteral("关于"));
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_about_box.moc"
