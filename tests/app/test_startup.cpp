// Start-up: the intro window's timing and switch, and the main window's load.

#include "app/Form1.h"
#include "app/Form2.h"
#include "core/Module1.h"
#include "core/StatusLine.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "cuelist/PropertiesPanel.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"
#include "playback/Mixer.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using namespace sorvane;

class StartupTest : public QObject {
    Q_OBJECT
    ScriptedDialogs dialogs;
    AudioEngine engine; // falls back to a silent output without a sound card

    std::unique_ptr<Form1> load(const QString& commandLine) {
        ShowFilename.clear();
        auto f = std::make_unique<Form1>(commandLine, dialogs);
        f->Show();
        return f;
    }

    // The built application folder; each intro test runs on a folder of its own.
    const QString builtAppFolder = qEnvironmentVariable("SORVANE_APP_DIR");
    void useAppFolder(const QString& path) {
        qputenv("SORVANE_APP_DIR", path.toLocal8Bit());
        QCOMPARE(ApplicationFolder(), path);
    }

private slots:
    void cleanup() { qputenv("SORVANE_APP_DIR", builtAppFolder.toLocal8Bit()); }

    void loadSequenceWithEmptyCommandLine() {
        AutoShowProperties = false;
        MediaLength = 12;
        auto f = load(QString());
        QVERIFY(f->isVisible());
        QVERIFY(f->frame().Command7->isHidden());
        QVERIFY(AutoShowProperties);
        QCOMPARE(MediaLength, 0.0);
        QVERIFY(f->cues().pctProperties()->isHidden());
        QCOMPARE(f->frame().cmdProperties->text(), QStringLiteral("< Properties"));
        QVERIFY(!f->frame().cmdProperties->isEnabled());
        QCOMPARE(f->mixer().sldLinkChannels->maximum(), 4000);
        for (QSlider* s : f->mixer().sldMixer)
            QCOMPARE(s->maximum(), 4000);
        QCOMPARE(f->cues().panel().sldVolume()->maximum(), 4000);
        QCOMPARE(WindowsVersion, QStringLiteral("Unable To get Windows Version"));
        QCOMPARE(f->status().lblStatus->text(), QStringLiteral("Sorvane 1.0 Ready.     rev.2"));
        QCOMPARE(f->status().history().size(), 1);
        QVERIFY(ShowFilename.isEmpty());
    }

    void switchShowsLoadOldOnlyWhenExact() {
        QVERIFY(!load(StartUpSwitch)->frame().Command7->isHidden());
        QVERIFY(load(StartUpSwitch.toUpper())->frame().Command7->isHidden());
        QVERIFY(load(StartUpSwitch + QStringLiteral(" x"))->frame().Command7->isHidden());
        QVERIFY(load(QStringLiteral("\"") + StartUpSwitch + QStringLiteral("\""))
                    ->frame()
                    .Command7->isHidden());
    }

    void missingFileOrFolderLoadsNothing() {
        QTemporaryDir dir;
        for (const QString& cl : {dir.filePath(QStringLiteral("missing.cue")), dir.path(),
                                  QStringLiteral("\"") + dir.path() + QStringLiteral("\"")}) {
            auto f = load(cl);
            QVERIFY(ShowFilename.isEmpty());
            QCOMPARE(f->status().history().size(), 1); // the ready message only, no report
            QCOMPARE(f->status().lblStatus->text(), QStringLiteral("Sorvane 1.0 Ready.     rev.2"));
        }
    }

    void quotedPathWithBlanksLoadsTheShow() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("my shows")));
        const QString path = dir.filePath(QStringLiteral("my shows/act one.cue"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1,Intro,0,0,0,0,0,1,1,0,0,1,0,0,\r\n2,Storm,0,0,0,0,0,1,1,0,0,1,0,0,\r\n");
        f.close();
        auto form = load(QStringLiteral("\"") + path + QStringLiteral("\""));
        QCOMPARE(ShowFilename, path);
        QCOMPARE(form->cues().model().count(), 2);
        QCOMPARE(form->cues().model().row(1).at(kDescription).text, QStringLiteral("Storm"));
        QCOMPARE(form->cues().SelectedIndex(), 1);
        // A show named at start opens the properties panel for its first cue.
        QVERIFY(!form->cues().pctProperties()->isHidden());
        // A double quote inside the path is removed as well.
        auto again = load(dir.filePath(QStringLiteral("my \"shows/act one.cue")));
        QCOMPARE(ShowFilename, path);
        QCOMPARE(again->cues().model().count(), 2);
    }

    void onlyALeftClickOnTheHiddenThreeEndsTheProgram() {
        auto f = load(QString());
        int ended = 0;
        f->endProgram = [&] { ++ended; };
        QCOMPARE(f->mixer().Label8->text(), QStringLiteral("3"));
        QTest::mouseClick(f->mixer().Label8, Qt::RightButton);
        QTest::mouseClick(f->mixer().Label8, Qt::MiddleButton);
        QTest::mouseClick(f->mixer().Label8, Qt::RightButton, Qt::ControlModifier);
        QTest::mouseDClick(f->mixer().Label8, Qt::RightButton);
        QCOMPARE(ended, 0);
        QTest::mouseClick(f->mixer().Label8, Qt::LeftButton);
        QCOMPARE(ended, 1);
        // Closing the window ends it too.
        f->close();
        QCOMPARE(ended, 2);
    }

    void introSkippedWithSwitch() {
        int shown = 0;
        QElapsedTimer clock;
        clock.start();
        Form2 intro(engine, StartUpSwitch, [&] { ++shown; });
        intro.Form_Load();
        QCOMPARE(shown, 1);
        QCOMPARE(intro.timesShown(), 0);
        QVERIFY(intro.isHidden());
        QVERIFY(clock.elapsed() < 4000);
    }

    void introRunsAboutFiveSeconds() {
        // The intro video sits in the application folder: here a private copy of it.
        QTemporaryDir folder;
        QVERIFY(QFile::copy(builtAppFolder + QStringLiteral("/intro.avi"),
                            folder.filePath(QStringLiteral("intro.avi"))));
        useAppFolder(folder.path());
        int shown = 0;
        qint64 shownAt = -1;
        double positionAtMain = -1;
        QElapsedTimer clock;
        clock.start();
        Form2* introPtr = nullptr;
        Form2 intro(engine, QStringLiteral("O"), [&] {
            ++shown;
            shownAt = clock.elapsed();
            positionAtMain = introPtr->MediaPlayer1->CurrentPosition();
        });
        introPtr = &intro;
        intro.Form_Load();
        const qint64 total = clock.elapsed();
        QCOMPARE(shown, 1);
        QVERIFY2(shownAt >= 4000, qPrintable(QString::number(shownAt))); // after 2 s + 2 s
        QVERIFY2(total >= 5000, qPrintable(QString::number(total)));     // and 1 s more
        QVERIFY(intro.isHidden());
        QVERIFY(intro.introPlayable());
        QCOMPARE(intro.timesShown(), 2);
        // Two seconds at double speed and two at normal speed: about six seconds of video.
        QVERIFY2(positionAtMain > 4.5, qPrintable(QString::number(positionAtMain)));
    }

    void introMissingStillReachesMainWindow() {
        QTemporaryDir emptyFolder;
        useAppFolder(emptyFolder.path());
        QVERIFY(!QFile::exists(Form2::IntroPath()));
        int shown = 0;
        QElapsedTimer clock;
        clock.start();
        Form2 intro(engine, QString(), [&] { ++shown; });
        intro.Form_Load();
        QCOMPARE(shown, 1);
        QVERIFY(!intro.introPlayable());
        QCOMPARE(intro.timesShown(), 0);
        QVERIFY(clock.elapsed() >= 5000);
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
