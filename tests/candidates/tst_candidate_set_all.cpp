#include "candidate_fixture.h"
#include "support/pickers.h"

#include <QPushButton>
#include <QtTest>

// "设置统一目地地址": the default destination given to every candidate.
class TestCandidateSetAll : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void setAllWithoutDefaultOpensPickerAndReplacesOnNo()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), Bin, Delete, false));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/C"), QString(), Delete));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/D"), QString(), Cut, false));
        expectDestinationChosen(app.dialogs, QStringLiteral("/x/y"));
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::No);
        int askedWhileDisabled = 0;
        app.dialogs.onAsk = [&](const ScriptedDialogs::Question &) {
            if (!f.Command2->isEnabled() && !f.Command3->isEnabled())
                ++askedWhileDisabled;
        };

        f.Command3_Click();

        QCOMPARE(askedWhileDisabled, 2);
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/x/y/"));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/x/y/"));
        QVERIFY(app.ctx.candidates.at(2).destination.isEmpty());
        QCOMPARE(app.ctx.candidates.at(3).destination, QStringLiteral("/x/y/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllKeepsDefaultAndExistingOnYes()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::Yes);
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::Yes);
        f.Command3_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/old/"));
        QCOMPARE(app.ctx.candidates.at(1).destination, QStringLiteral("/def/"));
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllCancelledChangesNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::Cancel);
        f.Command3_Click();
        // No at the first question opens the picker; Cancel at the second ends it.
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::No);
        expectDestinationChosen(app.dialogs, QStringLiteral("/new"));
        app.dialogs.expectYesNoCancel(QStringLiteral("如果记录已有目地地址，是否保留原目地地址？"), Korvan,
                                      UserDialogs::Answer::Cancel);
        f.Command3_Click();
        QVERIFY(app.ctx.candidates.at(0).destination.isEmpty());
        QCOMPARE(app.ctx.m.defaultDest, QStringLiteral("/new/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllWithTheDefaultDeclinedAndThePickerCancelledChangesNothing()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.m.defaultDest = QStringLiteral("/def/");
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        app.ctx.candidates.append(candidate(QStringLiteral("/s/B"), QString(), Copy));
        app.dialogs.expectYesNoCancel(QStringLiteral("当前使用目地地址为：/def/是否继续使用？"), Korvan,
                                      UserDialogs::Answer::No);
        expectDestinationCancelled(app.dialogs);
        f.Command3_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/old/"));
        QVERIFY(app.ctx.candidates.at(1).destination.isEmpty());
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }

    void setAllWithPickerCancelledAndNoDefaultKeepsDestinations()
    {
        TestApp app;
        Form7 &f = shownCandidateWindow(app);
        app.ctx.candidates.append(candidate(QStringLiteral("/s/A"), QStringLiteral("/old/"), Copy));
        expectDestinationCancelled(app.dialogs);
        f.Command3_Click();
        QCOMPARE(app.ctx.candidates.at(0).destination, QStringLiteral("/old/"));
        QVERIFY(f.Command2->isEnabled());
        QVERIFY(f.Command3->isEnabled());
        VERIFY_DIALOGS(app.dialogs);
    }
};

QTEST_MAIN(TestCandidateSetAll)
#include "tst_candidate_set_all.moc"
