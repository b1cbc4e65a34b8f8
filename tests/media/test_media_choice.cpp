// Browse: the file a cue takes, the MP3 question, decodings, and failures that change nothing.

#include "MediaFixture.h"
#include "app/Form1.h"
#include "core/Palette.h"
#include "cuelist/CueListEditor.h"
#include "cuelist/CueListModel.h"
#include "cuelist/PropertiesPanel.h"
#include "media/Form6.h"
#include "media/clsMP3.h"
#include "platform/process/ProcessRunner.h"
#include "showfiles/ShowFiles.h"

using namespace sorvane;
using namespace sorvane::testing;

class MediaChoiceTest : public QObject, MediaFixture {
    Q_OBJECT
    const QString mp3 = path("Song.MP3");

    // A decoder whose program "decodes" by copying the 10-second WAV to its destination.
    ScriptedProcessRunner* useScripted(int slices, bool writes = true, MediaCommands* m = nullptr) {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        r->slicesToEnd = slices;
        if (writes)
            r->onEnd = [this, r] {
                QFile::remove(r->arguments[2]), QFile::copy(path("ten.wav"), r->arguments[2]);
            };
        (m ? m : media.get())->setMP3(std::make_unique<clsMP3>(std::move(runner)));
        return r;
    }
    // A show of Rain, Wind and Thunder, each on the file `file` or "rain.wav"..., from 1 to 2 s.
    QString writeShow(const QString& file = QString()) {
        QFile f(path("rain.cue"));
        if (!f.open(QIODevice::WriteOnly)) return {};
        int n = 0;
        for (const QString name : {"Rain", "Wind", "Thunder"}) {
            const QString media = file.isEmpty() ? name.toLower() + ".wav" : file;
            f.write(QStringLiteral("%1,%2,0,0,0,%3,0,1,0,0,10,1,1,2,\r\n")
                        .arg(++n)
                        .arg(name, media)
                        .toUtf8());
        }
        return f.fileName();
    }
    void browse(const QString& file, MsgResult answer = MsgResult::Yes) {
        shell->scripted.queueFile(file);
        shell->scripted.queueAnswer(answer);
        media->cmdBrowse_Click();
    }

private slots:
    void initTestCase() {
        QVERIFY(MakeWithFfmpeg(mp3, 1.5));
        QVERIFY(MakeWithFfmpeg(path("voice.wma"), 1.0, "wmav2"));
        for (const char* name : {"first.mp3", "second.mp3", "a.mp3", "b.mp3"})
            QVERIFY(QFile::copy(mp3, path(name)));
    }
    void init() { open(); }

    void browseTakesTheFileAsItIs_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<double>("end"); // -1: nothing is written
        QTest::newRow("wav") << path("ten.wav") << 1 << 10.0;
        QTest::newRow("wma, no question") << path("voice.wma") << 1 << 1.0;
        QTest::newRow("MP3 in capitals, answered No") << mp3 << 2 << 1.5;
        QTest::newRow("dialog cancelled") << QString() << 1 << -1.0;
        QTest::newRow("file the player refuses") << path("junk.wav") << 1 << -1.0;
    }
    void browseTakesTheFileAsItIs() {
        QFETCH(QString, file);
        QFETCH(int, dialogs);
        QFETCH(double, end);
        browse(file, MsgResult::No);
        const auto& calls = shell->scripted.calls();
        QCOMPARE(calls.size(), dialogs);
        QCOMPARE(calls[0].title, QString("Open File"));
        if (dialogs == 2) {
            QCOMPARE(calls[1].text,
                     "You have selected an MP3 file.  Because the MP3 file format requires "
                     "decoding for playback, a slight delay can occur before playing begins."
                     "\r\n\r\nWould you like to convert this file to WAV format to eliminate "
                     "the possibility of this delay?");
            QCOMPARE(calls[1].title, QString("Select File"));
            QVERIFY(calls[1].buttons == MsgButtons::YesNo && calls[1].icon == MsgIcon::Question);
        }
        const QStringList wrote{"End=" + fields->end, "Start=0", "File=" + file, "Click"};
        QCOMPARE(fields->log, end < 0 ? QStringList() : wrote);
        QVERIFY(end < 0 || std::abs(ReadNumber(fields->end).value_or(-1) - end) < 0.1);
    }

    void takenNameGivesNumberedName() {
        const QString stem = path("it's \"a\" $(touch x) `y` $HOME; Ünï");
        QVERIFY(QFile::copy(mp3, stem + ".take2.mp3"));
        QVERIFY(QFile::copy(path("ten.wav"), stem + ".wav"));
        browse(stem + ".take2.mp3");
        QCOMPARE(fields->file, stem + " (2).wav");
        QVERIFY(std::abs(ReadNumber(fields->end).value_or(-1) - 1.5) < 0.15);
        QCOMPARE(QFileInfo(stem + ".wav").size(), QFileInfo(path("ten.wav")).size());
        QVERIFY(QFile::copy(path("ten.wav"), stem + " (3).wav"));
        QCOMPARE(MediaCommands::DecodedName(stem + ".take2.mp3"), stem + " (4).wav");
    }

    void secondDecodingWhileOneRunsIsRefused() {
        ScriptedProcessRunner* r = useScripted(3);
        QStringList nestedLog{"not run"};
        bool pressed = false; // once only, so that a nested decoding cannot nest again
        r->onSlice = [&](int slice) {
            if (slice != 1 || std::exchange(pressed, true)) return;
            browse(path("second.mp3")); // Browse pressed again while the first decoding runs
            nestedLog = fields->log;
        };
        browse(path("first.mp3"));
        QCOMPARE(r->starts, 1);
        QVERIFY(nestedLog.isEmpty());
        QCOMPARE(shell->last().text, kDecodingBusyText);
        QCOMPARE(fields->file, path("first.wav"));
        r->onSlice = nullptr; // once done, the next decoding runs again
        browse(path("second.mp3"));
        QCOMPARE(fields->file, path("second.wav"));
    }

    void decodingWindowSlidesItsStripAndCancels() {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        clsMP3 mp3(std::move(runner));
        mp3.StartApp("lame", {});
        Form6 form(mp3, nullptr);
        QCOMPARE(form.Label1->text(), QString("Decoding MP3 to WAV format.  Please Wait..."));
        // {ticks, the strip's left edge in twips}: 100 a tick, from -3000 again at 4500
        const int table[][2] = {{0, -1000}, {1, -900}, {54, 4400}, {55, -3000}, {56, -2900}};
        int ticks = 0;
        for (const auto& [n, left] : table) {
            for (; ticks < n; ++ticks)
                form.Timer1_Timer();
            QCOMPARE(form.Picture2->x(), TwToPx(left));
        }
        QCOMPARE(form.Timer1->interval(), 10);
        QCOMPARE(form.Picture1->palette().color(QPalette::Window), QColor(192, 192, 192));
        for (QWidget* square : form.Squares)
            QCOMPARE(square->palette().color(QPalette::Window), QColor(0, 128, 128));
        form.Command1->click();
        QVERIFY(ConvertCanceled && form.isHidden());
        QCOMPARE(r->terminatedWith, 1);
    }

    // Browse in the program's window, changes while the decoder runs or ("early") before it starts.
    void decodedFileGoesIntoItsOwnCue_data() {
        QTest::addColumn<QString>("act");
        QTest::addColumn<bool>("early");
        QTest::addColumn<QString>("gets");   // the cue that takes the WAV; empty: none
        QTest::addColumn<QString>("status"); // the yellow warning; empty: none
        QTest::newRow("nothing") << "" << false << "Rain" << QString();
        QTest::newRow("Next selects another cue") << "Next" << false << "Rain" << QString();
        QTest::newRow("GO selects another cue") << "Go" << false << "Rain" << QString();
        QTest::newRow("moved down") << "Move Down" << false << "Rain" << QString();
        QTest::newRow("one inserted above") << "Insert" << false << "Rain" << QString();
        QTest::newRow("deleted") << "Delete Cue" << false << "" << kCueDeletedText;
        QTest::newRow("another show loaded") << "Load" << false << "" << kShowChangedText;
        QTest::newRow("a new show") << "Create New" << false << "" << kShowChangedText;
        QTest::newRow("cancelled") << "Cancel" << false << "" << kConvertCanceledText;
        QTest::newRow("cancelled at once") << "Cancel" << true << "" << kConvertCanceledText;
    }
    void decodedFileGoesIntoItsOwnCue() {
        QFETCH(QString, act);
        QFETCH(bool, early);
        QFETCH(QString, gets);
        QFETCH(QString, status);
        QFile::remove(path("Song.wav"));
        const QString show = writeShow();
        ScriptedDialogs dialogs;
        AudioEngine own({.output = AudioEngine::Output::Offline}); // voices of its own
        Form1 window(show, dialogs, &own);
        window.Show();
        CueListEditor& cues = window.cues();
        QCOMPARE(cues.SelectedIndex(), 1);
        ScriptedProcessRunner* r = useScripted(3, true, &window.media());
        const auto click = [&](const QString& caption) {
            for (QPushButton* b : window.findChildren<QPushButton*>())
                if (b->text() == caption) return b->click();
            QFAIL(qPrintable("no button " + caption));
        };
        const auto doAct = [&] {
            if (act == "Load")
                window.showFiles().LoadShow(show);
            else if (act == "Create New")
                window.showFiles().Command1_Click();
            else if (act == "Insert")
                cues.SelectRow(0), cues.cmdAddCue_Click();
            else if (act == "Cancel")
                window.media().decodingWindow()->Command1->click();
            else if (!act.isEmpty())
                click(act);
        };
        bool acted = false;
        r->onSlice = [&](int slice) {
            QFile part(r->arguments.value(2)); // the decoder's output so far
            QVERIFY(part.open(QIODevice::Append) && part.write("RIFF") == 4);
            if (slice == 1 && !early) doAct(), acted = true;
        };
        if (early) QTimer::singleShot(100, &window, [&] { doAct(), acted = true; });
        dialogs.queueFile(mp3);
        dialogs.queueAnswer(MsgResult::Yes);
        click("Browse");
        QVERIFY(acted);
        QCOMPARE(r->starts, early ? 0 : 1);
        QCOMPARE(QFile::exists(path("Song.wav")), act != "Cancel"); // a Cancel leaves no WAV
        for (int i = 0; i < cues.model().count(); ++i) {
            const CueRow& row = cues.model().row(i);
            const QString name = row.at(kDescription).text;
            const double end = row.at(kSelectionEnd).value.toNumber().value_or(-1);
            QCOMPARE(row.at(kFile).value.toText() + ' ' + row.at(kSelectionStart).value.toText() +
                         ' ' + QString::number(end, 'f', 1),
                     name == gets                    ? path("Song.wav") + " 0 10.0"
                     : name.startsWith("New Action") ? "0 0 0.0"
                                                     : name.toLower() + ".wav 1 2.0");
        }
        const auto warned = [&](const QString& text) {
            for (const StatusLine::Entry& e : window.status().history())
                if (e.colour == kYellow && e.text.startsWith(text)) return true;
            return false;
        };
        for (const QString& warning : {kCueDeletedText, kShowChangedText, kConvertCanceledText})
            QCOMPARE(warned(warning), warning == status);
    }

    void editorDoneWritesIntoItsOwnCue() {
        ScriptedDialogs dialogs;
        AudioEngine own({.output = AudioEngine::Output::Offline});
        Form1 window(writeShow(path("ten.wav")), dialogs, &own);
        window.Show();
        bool shown = false;
        window.media().onEditorShown = [&](Form5& form) {
            shown = true;
            window.cues().SelectRow(2); // as GO does, from a cue process running meanwhile
            form.cmdNudge[3]->click();  // the start half a second on
            form.Command1->click();     // Done
        };
        window.cues().panel().Command6()->click();
        QVERIFY(shown);
        const CueListModel& list = window.cues().model();
        for (int i = 0; i < list.count(); ++i)
            QCOMPARE(list.row(i).at(kSelectionStart).value.toNumber(), i == 0 ? 1.5 : 1.0);
    }

    void failingDecoderReportedNamingTheFile_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("decoder"); // empty: a scripted one ending with `exitCode`
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("named");
        QTest::newRow("missingDecoderReportedAndNothingWaits")
            << "Song.MP3" << path("no-such-lame") << 0 << "MP3 decoder";
        QTest::newRow("failure status, a file written") << "a.mp3" << QString() << 1 << "a.mp3";
        QTest::newRow("success, nothing written") << "b.mp3" << QString() << 0 << "b.mp3";
        QTest::newRow("real decoder, no MP3 inside") << "fake.mp3" << AppLame() << 0 << "fake.mp3";
    }
    void failingDecoderReportedNamingTheFile() {
        QFETCH(QString, source);
        QFETCH(QString, decoder);
        QFETCH(int, exitCode);
        QFETCH(QString, named);
        QFile::copy(path("ten.wav"), path("fake.mp3")); // the player takes it, the decoder not
        if (decoder.isEmpty())
            useScripted(1, exitCode != 0)->endExitCode = exitCode;
        else
            media->DecoderPath = decoder;
        browse(path(source));
        QCOMPARE(shell->last().colour, kRed);
        QVERIFY(shell->last().text.contains(named));
        QVERIFY(fields->log.isEmpty());
        QTRY_VERIFY(media->decodingWindow() == nullptr);
    }
};

QTEST_MAIN(MediaChoiceTest)
#include "test_media_choice.moc"
