// The status line's kinds, typewriter and restore, the history and its drawer, and the
// waits that write the status line.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "platform/Dialogs.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace sorvane;

class StatusLineTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;
    StatusLine* status = nullptr;

    QString caption() const { return status->lblStatus->text(); }

private slots:
    void init() {
        ShowHalted = false;
        form = std::make_unique<Form1>(QStringLiteral("o"), dialogs);
        form->Show();
        status = &form->status();
    }
    void cleanup() { form.reset(); }

    void kindsSetColoursAndOnlyTheNewestEntryIsBold() {
        // The ready message is the first entry.
        QCOMPARE(caption(), QStringLiteral("Sorvane 1.0 Ready.     rev.2"));
        QCOMPARE(status->statusColour(), kWhite);
        QCOMPARE(status->history().size(), 1);
        QCOMPARE(status->history()[0].colour, kWhite);
        QVERIFY(status->history()[0].bold);
        const QList<QPair<int, QColor>> kinds{
            {0, kBrightGreen}, {1, kYellow}, {2, kRed}, {3, kWhite}, {3, kWhite}};
        for (const auto& [kind, colour] : kinds) {
            status->ShowStatus(QStringLiteral("kind %1").arg(kind), kind);
            QCOMPARE(caption(), QStringLiteral("kind %1").arg(kind));
            QCOMPARE(status->statusColour(), colour);
            QCOMPARE(status->history().constLast().colour, colour);
        }
        // An unknown kind keeps the colour the line had.
        status->ShowStatus(QStringLiteral("red first"), 2);
        status->ShowStatus(QStringLiteral("kind seven"), 7);
        QCOMPARE(status->statusColour(), kRed);
        QCOMPARE(status->history().constLast().colour, kRed);
        // Every message is an entry, the same text twice too; only the newest is bold.
        const auto h = status->history();
        QCOMPARE(h.size(), 8);
        QCOMPARE(h[4].text, h[5].text);
        QCOMPARE(h.constLast().text, QStringLiteral("kind seven"));
        for (int i = 0; i < h.size(); ++i)
            QCOMPARE(h[i].bold, i == h.size() - 1);
    }

    void typewriterTypesAfterHalfASecond() {
        status->ShowStatus(QStringLiteral("Cue 3 Ready  >  %Thunder 10%"), 4);
        QCOMPARE(caption(), QStringLiteral("Cue 3 Ready  >  "));
        QCOMPARE(status->statusColour(), kBrightGreen);
        // The history has the whole line with every "%" removed.
        QCOMPARE(status->history().constLast().text, QStringLiteral("Cue 3 Ready  >  Thunder 10"));
        QCOMPARE(status->history().constLast().colour, kBrightGreen);
        QTest::qWait(250);
        QCOMPARE(caption(), QStringLiteral("Cue 3 Ready  >  ")); // nothing typed yet
        // A "%" after the first one is typed as it stands.
        QTRY_COMPARE_WITH_TIMEOUT(caption(), QStringLiteral("Cue 3 Ready  >  Thunder 10%"), 5000);
        QVERIFY(!status->tmrShowStatus->isActive());
    }

    void newMessageStopsTyping() {
        status->ShowStatus(QStringLiteral("Cue 1 Ready  >  %A long description"), 4);
        QTRY_VERIFY_WITH_TIMEOUT(caption().size() > QStringLiteral("Cue 1 Ready  >  ").size(),
                                 5000);
        status->ShowStatus(QStringLiteral("Executing Cue 1."), 0);
        QCOMPARE(caption(), QStringLiteral("Executing Cue 1."));
        QTest::qWait(100);
        QCOMPARE(caption(), QStringLiteral("Executing Cue 1."));
        const auto h = status->history();
        QCOMPARE(h[h.size() - 2].text, QStringLiteral("Cue 1 Ready  >  A long description"));
    }

    void typewriterLimits() {
        const QString longText(1500, QLatin1Char('x'));
        status->ShowStatus(QStringLiteral("Cue 1 Ready  >  %") + longText, 4);
        QCOMPARE(status->tmrShowStatusTag.size(), 1000);
        QCOMPARE(status->history().constLast().text.size(), 16 + 1500);
        // Nothing after the "%": the first tick stops the timer and adds nothing.
        status->ShowStatus(QStringLiteral("Cue 2 Ready  >  %"), 4);
        QTRY_VERIFY_WITH_TIMEOUT(!status->tmrShowStatus->isActive(), 5000);
        QCOMPARE(caption(), QStringLiteral("Cue 2 Ready  >  "));
    }

    void clearingHistoryLetsTypingFinish() {
        status->ShowStatus(QStringLiteral("Cue 4 Ready  >  %Rain"), 4);
        status->ClearStatusHistory();
        QCOMPARE(status->history().size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(caption(), QStringLiteral("Cue 4 Ready  >  Rain"), 5000);
    }

    void restoreAfterBuffering() {
        status->ShowStatus(QStringLiteral("Clearing all buffered media."), 1);
        status->ShowStatus(QStringLiteral("Channel 1 : Buffering..."), 1);
        status->ShowStatus(QStringLiteral("Channel 1 : Buffering Complete."), 0);
        status->ArmRestore();
        QTest::qWait(1000);
        QCOMPARE(caption(), QStringLiteral("Channel 1 : Buffering Complete."));
        // "buffered" does not match "Buffer".
        QTRY_COMPARE_WITH_TIMEOUT(caption(), QStringLiteral("Clearing all buffered media."), 6000);
        QCOMPARE(status->statusColour(), kYellow);
        QCOMPARE(status->history().size(), 4); // no entry added
    }

    void restoreTakesNewestWhenAllAreBuffering() {
        status->ClearStatusHistory();
        status->ShowStatus(QStringLiteral("Channel 2 : Buffering..."), 1);
        status->ShowStatus(QStringLiteral("Channel 2 : Buffering Interrupted."), 1);
        status->writeDirect(QStringLiteral("something else"), kRed);
        status->ArmRestore();
        QTRY_COMPARE_WITH_TIMEOUT(caption(), QStringLiteral("Channel 2 : Buffering Interrupted."),
                                  6000);
        QCOMPARE(status->statusColour(), kYellow);
    }

    void messageCancelsRestore() {
        status->ShowStatus(QStringLiteral("Channel 1 : Buffering Complete."), 0);
        status->ArmRestore();
        QTest::qWait(500);
        status->ShowStatus(QStringLiteral("Executing Cue 2."), 0);
        QTest::qWait(2500);
        QCOMPARE(caption(), QStringLiteral("Executing Cue 2."));
    }

    void drawerOpensAndCloses() {
        QVERIFY(status->pctStatusHistory->isHidden());
        const QImage up = status->imgUpArrow.toImage();
        const QImage down = status->imgDownArrow.toImage();
        QVERIFY(up != down);
        QCOMPARE(status->Command2->icon().pixmap(12, 12).toImage(), up);
        QTest::mouseClick(status->Command2, Qt::LeftButton);
        QVERIFY(!status->pctStatusHistory->isHidden());
        QCOMPARE(status->Command2->icon().pixmap(12, 12).toImage(), down);
        // The drawer lies directly above the strip.
        QCOMPARE(status->pctStatusHistory->geometry().bottom() + 1,
                 status->Picture1->geometry().top());
        QTest::mouseClick(status->Command2, Qt::LeftButton);
        QVERIFY(status->pctStatusHistory->isHidden());
        QCOMPARE(status->Command2->icon().pixmap(12, 12).toImage(), up);
        QCOMPARE(status->history().size(), 1); // kept either way
    }

    void clearHistoryMenuItem() {
        status->ShowStatus(QStringLiteral("one"), 0);
        status->mnuClearHistory->trigger();
        QCOMPARE(status->history().size(), 0);
        QCOMPARE(caption(), QStringLiteral("one")); // the line itself stays
    }

    void waitLetsEventsAndTimersRun() {
        // A wait of no time runs what is pending once.
        bool ran = false;
        QTimer::singleShot(0, this, [&] { ran = true; });
        Wait(0);
        QVERIFY(ran);
        int ticks = 0;
        QTimer t;
        connect(&t, &QTimer::timeout, this, [&] { ++ticks; });
        t.start(10);
        QElapsedTimer clock;
        clock.start();
        Wait(0.5);
        QVERIFY(clock.elapsed() >= 500);
        QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
    }

    void delayWithStatusCounts() {
        DelayWithStatus(*status, 0.3);
        // Only "Delaying:  " reaches the history; the counter is written straight to the line.
        QCOMPARE(status->history().constLast().text, QStringLiteral("Delaying:  "));
        QCOMPARE(status->history().constLast().colour, kYellow);
        QCOMPARE(status->history().size(), 2);
        const QString c = caption();
        QVERIFY2(c.startsWith(QStringLiteral("Delaying:  ")), qPrintable(c));
        const double shown = c.mid(11).toDouble();
        QVERIFY2(shown >= 0.3 && shown < 5, qPrintable(c));
        QCOMPARE(status->statusColour(), kYellow);
    }

    void delayEndsAtOnceWhenHalted() {
        ShowHalted = true;
        QElapsedTimer clock;
        clock.start();
        DelayWithStatus(*status, 30);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(status->history().constLast().text, QStringLiteral("Delaying:  "));
        ShowHalted = false;
    }
};

QTEST_MAIN(StatusLineTest)
#include "test_status_line.moc"
