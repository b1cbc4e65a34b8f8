// The process-wide utilities: numbers, stored values, versions, files, status line and waits.

#include "app/Form1.h"
#include "core/Module1.h"
#include "core/Palette.h"
#include "core/StatusLine.h"
#include "core/StoredValue.h"
#include "platform/Dialogs.h"

#include <QtTest>
#include <QtWidgets>

using namespace sorvane;
using namespace Qt::StringLiterals;
using Int16 = std::optional<std::int16_t>;

class CoreTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;
    StatusLine* status = nullptr;

    QString caption() const { return status->lblStatus->text(); }
    QString lastEntry() const { return status->history().constLast().text; }

private slots:
    void init() {
        ShowHalted = false;
        form = std::make_unique<Form1>(u"o"_s, dialogs);
        form->Show();
        status = &form->status();
    }
    void cleanup() {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    void numbersFollowTheLocale() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(DecimalText(1234567), u"1234567"_s); // no group separator
        QCOMPARE(DecimalText(0.1 + 0.2), u"0.3"_s);   // 15 significant digits
        QCOMPARE(DecimalText(-0.0), u"0"_s);
        QCOMPARE(ReadNumber(u" 7 "_s), std::optional<double>(7));
        for (const char* bad : {"", "abc", "1.5x", "inf", "1,5"})
            QVERIFY2(!ReadNumber(QString::fromLatin1(bad)), bad);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(DecimalText(12.25), u"12,25"_s);
        QCOMPARE(StoredValue::text(u"2,5"_s).toNumber(), std::optional<double>(2.5));
        QVERIFY(!ReadNumber(u"1.5"_s));
    }

    void storedValuesRoundDownWithinTheirRange() {
        QCOMPARE(StoredValue::number(-0.5).toInt16(), Int16(-1));
        QCOMPARE(StoredValue::text(u"2.7"_s).toInt16(), Int16(2));
        QCOMPARE(StoredValue::int32(-32768).toInt16(), Int16(-32768));
        QVERIFY(!StoredValue::int32(32768).toInt16());
        QVERIFY(!StoredValue::number(-32768.5).toInt16()); // rounds down to -32769
        QVERIFY(!StoredValue::text(u"abc"_s).toInt16());
        QCOMPARE(StoredValue::text(u"40000"_s).toInt32(), std::optional(40000));
        QVERIFY(StoredValue::text(u"0"_s).equalsNumber(0));
        QVERIFY(!StoredValue::text(u"x"_s).equalsNumber(0));
    }

    // Only "Windows XP" picks the newer layout; this platform has no version to tell.
    void versionTable() {
        QCOMPARE(WindowsVersionName(VersionRecord{2, 5, 1, 2600}), u"Windows XP"_s);
        QCOMPARE(WindowsVersionName(VersionRecord{2, 5, 2, 3790}), u"Windows XP"_s);
        QCOMPARE(WindowsVersionName(VersionRecord{2, 5, 0, 2195}), u"Windows 2000"_s);
        QCOMPARE(GetWindowsVersion(), u"Unable To get Windows Version"_s);
    }

    void fileExists() {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"show.cue"_s);
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QVERIFY(FileExists(file));
        for (const QString& no : {dir.path(), QString(), dir.filePath(u"x"_s), u"/dev/null"_s})
            QVERIFY2(!FileExists(no), qPrintable(no));
        QFile::setPermissions(file, QFileDevice::WriteOwner);
        if (QFile(file).open(QIODevice::ReadOnly)) QSKIP("running with rights that ignore modes");
        QVERIFY(!FileExists(file));
    }

    QList<StatusLine::Entry> listed() const {
        QList<StatusLine::Entry> out;
        QTreeWidget* list = status->lstStatusHistory;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            out.append({item->text(0), item->foreground(0).color(), item->font(0).bold()});
        }
        return out;
    }
    bool newestInView() const {
        QTreeWidget* list = status->lstStatusHistory;
        const int n = list->topLevelItemCount();
        if (n == 0) return true;
        const QRect r = list->visualItemRect(list->topLevelItem(n - 1));
        return r.isValid() && list->viewport()->rect().contains(r);
    }

    void kindsSetColoursAndOnlyTheNewestEntryIsBold() {
        // An unknown kind (7) keeps the colour the line had.
        const std::pair<int, QColor> kinds[] = {{0, kBrightGreen}, {1, kYellow}, {3, kWhite},
                                                {3, kWhite},       {2, kRed},    {7, kRed}};
        for (const auto& [kind, colour] : kinds) {
            status->ShowStatus(u"kind %1"_s.arg(kind), kind);
            QCOMPARE(status->statusColour(), colour);
        }
        // Opened late, the drawer lists every message in its colour, the newest bold and in view.
        auto drawer = [&] { QTest::mouseClick(status->Command2, Qt::LeftButton); };
        for (int i = 0; i < 40; ++i)
            status->ShowStatus(u"filler %1"_s.arg(i), 3);
        drawer();
        QVERIFY(status->pctStatusHistory->isVisible());
        status->ShowStatus(u"while open"_s, 2);
        QVERIFY(newestInView());
        drawer();
        status->ShowStatus(u"while closed"_s, 1);
        drawer();
        const auto h = listed();
        QCOMPARE(h.size(), 49);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(h[i + 1].text, u"kind %1"_s.arg(kinds[i].first));
            QCOMPARE(h[i + 1].colour, kinds[i].second);
        }
        QCOMPARE(h[47].text, u"while open"_s);
        QCOMPARE(h[48].colour, kYellow);
        for (int i = 0; i < h.size(); ++i)
            QCOMPARE(h[i].bold, i == h.size() - 1);
        QVERIFY(newestInView());
        QCOMPARE(status->history().size(), h.size());
        status->mnuClearHistory->trigger();
        QCOMPARE(listed().size(), 0);
        QCOMPARE(status->history().size(), 0);
        QCOMPARE(caption(), u"while closed"_s); // the line itself stays
    }

    void typewriterTypesWhatFollowsTheMark() {
        QElapsedTimer clock;
        clock.start();
        status->ShowStatus(u"Cue 3 Ready  >  %Rain 10%"_s, 4);
        QCOMPARE(caption(), u"Cue 3 Ready  >  "_s);
        QCOMPARE(lastEntry(), u"Cue 3 Ready  >  Rain 10"_s);
        status->ClearStatusHistory(); // the typing goes on
        QTRY_VERIFY_WITH_TIMEOUT(caption().size() > 16, 5000);
        QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(caption(), u"Cue 3 Ready  >  Rain 10%"_s, 5000);
        QCOMPARE(status->statusColour(), kBrightGreen);
        status->ShowStatus(u"Cue 2 Ready  >  %"_s + QString(1500, u'x'), 4);
        for (int i = 0; i < 1600; ++i)
            status->tmrShowStatus_Timer();
        QCOMPARE(caption(), u"Cue 2 Ready  >  "_s + QString(1000, u'x'));
        QCOMPARE(lastEntry().size(), 16 + 1500);
        status->ShowStatus(u"Cue 1 Ready  >  %A long description"_s, 4);
        QTRY_VERIFY_WITH_TIMEOUT(caption().size() > 16, 5000);
        status->ShowStatus(u"Executing Cue 1."_s, 0);
        QTest::qWait(50);
        QCOMPARE(caption(), u"Executing Cue 1."_s);
    }

    // Three lines side by side: the newest entry not about buffering comes back, else the newest.
    void restoreBringsBackTheLastMessage() {
        QWidget host;
        StatusLine* lines[] = {status, new StatusLine(*form, &host), new StatusLine(*form, &host)};
        lines[0]->ShowStatus(u"Clearing all buffered media."_s, 1);
        lines[0]->ShowStatus(u"Channel 1 : Buffering Complete."_s, 0);
        lines[1]->ShowStatus(u"Channel 2 : Buffering..."_s, 1);
        lines[1]->ShowStatus(u"Channel 2 : Buffering Interrupted."_s, 1);
        lines[1]->writeDirect(u"something else"_s, kRed);
        for (StatusLine* line : lines)
            line->ArmRestore();
        QTest::qWait(1000);
        QCOMPARE(caption(), u"Channel 1 : Buffering Complete."_s);
        lines[2]->ShowStatus(u"Delaying:  "_s, 1);
        lines[2]->writeDirect(u"Delaying:  0.5"_s);
        QTRY_COMPARE_WITH_TIMEOUT(caption(), u"Clearing all buffered media."_s, 6000);
        QTRY_COMPARE_WITH_TIMEOUT(lines[1]->lblStatus->text(),
                                  u"Channel 2 : Buffering Interrupted."_s, 6000);
        QCOMPARE(status->statusColour(), kYellow);
        QCOMPARE(status->history().size(), 3); // no entry added
        QCOMPARE(lines[2]->lblStatus->text(), u"Delaying:  0.5"_s);
    }

    void waitsLetEventsAndTimersRun() {
        int ticks = 0;
        QStringList counters; // the status line as the waits' ticks see it
        QTimer t;
        connect(&t, &QTimer::timeout, this, [&] {
            ++ticks;
            counters << caption();
        });
        t.start(10);
        QElapsedTimer clock;
        clock.start();
        Wait(0.2);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY2(ticks >= 2, qPrintable(QString::number(ticks)));
        DelayWithStatus(*status, 0.1);
        QCOMPARE(lastEntry(), u"Delaying:  "_s);
        QCOMPARE(status->history().size(), 2);
        QVERIFY2(caption().mid(11).toDouble() >= 0.1, qPrintable(caption()));
        const QRegularExpression hundredths(u"^Delaying:  (\\d+(\\.\\d\\d?)?)?$"_s);
        for (const QString& c : counters << caption())
            QVERIFY2(!c.startsWith(u"Delaying"_s) || hundredths.match(c).hasMatch(), qPrintable(c));
        ShowHalted = true;
        clock.restart();
        DelayWithStatus(*status, 30);
        QVERIFY(clock.elapsed() < 10000);
    }
};

QTEST_MAIN(CoreTest)
#include "test_core.moc"
