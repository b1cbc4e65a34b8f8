// Start-up: the main window's load from its command line, its hidden exit, and the intro.

#include "app/Form1.h"
#include "app/Form2.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"

#include <QtTest>
#include <QtWidgets>

using namespace sorvane;

class StartupTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    AudioEngine engine; // falls back to a silent output without a sound card
    QTemporaryDir dir;
    const QString builtAppFolder = qEnvironmentVariable("SORVANE_APP_DIR");
    const QString show = dir.filePath(QStringLiteral("my shows/act one.cue"));

    std::unique_ptr<Form1> load(const QString& commandLine) {
        ShowFilename.clear();
        auto f = std::make_unique<Form1>(commandLine, dialogs);
        f->Show();
        return f;
    }

private slots:
    void cleanup() { qputenv("SORVANE_APP_DIR", builtAppFolder.toLocal8Bit()); }

    void initTestCase() {
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("my shows")));
        QFile f(show);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1,Intro,0,0,0,0,0,1,1,0,0,1,0,0,\r\n2,Storm,0,0,0,0,0,1,1,0,0,1,0,0,\r\n");
    }

    // Every double quote is removed from the command line, the rest names the show.
    void commandLine_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("loadOld");
        QTest::addColumn<bool>("loads");
        QTest::newRow("empty") << QString() << false << false;
        QTest::newRow("the switch") << StartUpSwitch << true << false;
        QTest::newRow("the switch in capitals") << StartUpSwitch.toUpper() << false << false;
        QTest::newRow("the switch and more") << StartUpSwitch + " x" << false << false;
        QTest::newRow("the switch in quotes") << '"' + StartUpSwitch + '"' << false << false;
        QTest::newRow("missing file") << dir.filePath("missing.cue") << false << false;
        QTest::newRow("folder") << dir.path() << false << false;
        QTest::newRow("quotedPathWithBlanksLoadsTheShow") << '"' + show + '"' << false << true;
        QTest::newRow("quote inside") << dir.filePath("my \"shows/act one.cue") << false << true;
    }
    void commandLine() {
        QFETCH(QString, commandLine);
        QFETCH(bool, loads);
        AutoShowProperties = false; // the load turns it on again
        auto f = load(commandLine);
        QTEST(!f->frame().Command7->isHidden(), "loadOld");
        QCOMPARE(ShowFilename, loads ? show : QString());
        QCOMPARE(f->cues().model().count(), loads ? 2 : 0);
        QCOMPARE(f->cues().SelectedIndex(), loads ? 1 : 0);
        // A show named at start opens the panel on its first cue; without one, no report.
        QCOMPARE(f->cues().pctProperties()->isHidden(), !loads);
        QCOMPARE(f->frame().cmdProperties->isEnabled(), loads);
        QCOMPARE(f->status().history().size() == 1, !loads);
        const auto ready = f->status().history().constFirst();
        QCOMPARE(ready.text + ' ' + ready.colour.name(), "Sorvane 1.0 Ready.     rev.2 #ffffff");
    }

    void onlyALeftClickOnTheHiddenThreeEndsTheProgram() {
        auto f = load(QString());
        int ended = 0;
        f->endProgram = [&] { ++ended; };
        QLabel* three = f->mixer().Label8;
        QTest::mouseClick(three, Qt::RightButton);
        QTest::mouseClick(three, Qt::MiddleButton);
        QTest::mouseClick(three, Qt::RightButton, Qt::ControlModifier);
        QTest::mouseDClick(three, Qt::RightButton);
        QCOMPARE(ended, 0);
        QTest::mouseClick(three, Qt::LeftButton);
        QCOMPARE(ended, 1);
        f->close(); // closing the window ends it too
        QCOMPARE(ended, 2);
    }

    void intro_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("video");
        QTest::addColumn<int>("timesShown");
        QTest::newRow("introSkippedWithSwitch") << StartUpSwitch << true << 0;
        QTest::newRow("introRunsAboutFiveSeconds") << QStringLiteral("O") << true << 2;
        QTest::newRow("introMissingStillReachesMainWindow") << QString() << false << 0;
    }
    void intro() {
        QFETCH(QString, commandLine);
        QFETCH(bool, video);
        QFETCH(int, timesShown);
        QTemporaryDir folder; // the application folder, with or without the video
        QVERIFY(!video || QFile::copy(builtAppFolder + "/intro.avi", folder.filePath("intro.avi")));
        qputenv("SORVANE_APP_DIR", folder.path().toLocal8Bit());
        int shown = 0;
        qint64 shownAt = -1;
        double position = -1;
        QElapsedTimer clock;
        std::unique_ptr<Form2> intro = std::make_unique<Form2>(engine, commandLine, [&] {
            ++shown;
            shownAt = clock.elapsed();
            position = intro->MediaPlayer1->CurrentPosition();
        });
        clock.start();
        intro->Form_Load();
        QCOMPARE(shown, 1);
        QVERIFY(intro->isHidden());
        QCOMPARE(intro->timesShown(), timesShown);
        QCOMPARE(intro->introPlayable(), timesShown > 0);
        if (commandLine == StartUpSwitch) {
            QVERIFY(clock.elapsed() < 4000);
            return;
        }
        // The main window after 2 s at double speed and 2 s at normal speed; the intro 1 s more.
        QVERIFY2(shownAt >= 4000, qPrintable(QString::number(shownAt)));
        QVERIFY(clock.elapsed() >= 5000);
        QVERIFY2(!video || position > 4.5, qPrintable(QString::number(position)));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
