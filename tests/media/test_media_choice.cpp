// Browse: the choice of a cue's media file, the MP3 question, the decoding under the decoding
// window with the real decoder and with a scripted one, Cancel, and the failures that leave
// the cue as it was. Also the decoder runner's properties and its wait.

#include "MediaFixture.h"
#include "core/Module1.h"
#include "core/StoredValue.h"
#include "media/Form6.h"
#include "media/LineEditFields.h"
#include "media/MediaCommands.h"
#include "media/clsMP3.h"
#include "platform/engine/MediaPlayer.h"
#include "platform/process/ProcessRunner.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sorvane;
using namespace sorvane::testing;

namespace {
const QColor kYellow(255, 255, 0), kRed(255, 0, 0);

double FieldNumber(const QString& text) {
    return ReadNumber(text).value_or(-1);
}
} // namespace

class MediaChoiceTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<TestShell> shell;
    std::unique_ptr<RecordingFields> fields;
    std::unique_ptr<MediaCommands> media;
    QString wav2s, mp3, wma;

    QString path(const QString& name) const { return dir.filePath(name); }

    // A decoder runner whose program "decodes" by copying a prepared WAV to the destination.
    ScriptedProcessRunner* useScripted(int slices, bool writes = true) {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        r->slicesToEnd = slices;
        if (writes)
            r->onEnd = [this, r] { QFile::copy(wav2s, r->arguments.value(2)); };
        media->setMP3(std::make_unique<clsMP3>(std::move(runner)));
        return r;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        wav2s = path(QStringLiteral("two.wav"));
        QVERIFY(WriteWav(wav2s, 2.0));
        mp3 = path(QStringLiteral("Song.MP3"));
        QVERIFY(MakeMp3(mp3, 1.5));
        wma = path(QStringLiteral("voice.wma"));
        QVERIFY(MakeWithFfmpeg(wma, 1.0, {QStringLiteral("-c:a"), QStringLiteral("wmav2")}));
        engine = std::make_unique<AudioEngine>(OfflineEngine());
    }

    void init() {
        shell = std::make_unique<TestShell>();
        fields = std::make_unique<RecordingFields>();
        media = std::make_unique<MediaCommands>(*shell, *engine, *fields, &shell->window);
        media->setParent(nullptr);
        media->DecoderPath = AppLame();
        ConvertCanceled = false;
    }
    void cleanup() {
        media.reset();
        fields.reset();
        shell.reset();
    }

    void runnerPropertiesKeepAndRefuse() {
        clsMP3 mp3r(std::make_unique<ScriptedProcessRunner>());
        mp3r.setSrcFilename(QStringLiteral("a.mp3"));
        try {
            mp3r.setSrcFilename(QString());
            QFAIL("an empty source name was taken");
        } catch (const MP3Error& e) {
            QCOMPARE(e.Number, static_cast<std::int32_t>(0x80040FA0u));
            QCOMPARE(e.Description, QStringLiteral("Class MP3 - Invalid Source Filename!"));
        }
        QCOMPARE(mp3r.SrcFilename(), QStringLiteral("a.mp3"));
        mp3r.setDestFilename(QStringLiteral("a.wav"));
        try {
            mp3r.setDestFilename(QString());
            QFAIL("an empty destination name was taken");
        } catch (const MP3Error& e) {
            QCOMPARE(e.Number, static_cast<std::int32_t>(0x80040FA1u));
            QCOMPARE(e.Description, QStringLiteral("Class MP3 Invalid Destination Filename!."));
        }
        QCOMPARE(mp3r.DestFilename(), QStringLiteral("a.wav"));
        mp3r.setMP3Switches(QStringLiteral("-h"));
        QCOMPARE(mp3r.MP3Switches(), QStringLiteral("-h "));
        mp3r.setMP3Switches(QStringLiteral("-b 128 "));
        QCOMPARE(mp3r.MP3Switches(), QStringLiteral("-b 128 "));
        mp3r.setMP3Switches(QString());
        QCOMPARE(mp3r.MP3Switches(), QStringLiteral(" "));
        mp3r.setEncodeDecode(-7);
        QCOMPARE(mp3r.EncodeDecode(), -7);
    }

    void everyPutRunsTheFieldsHandler() {
        QLineEdit file, start, end;
        QStringList ran;
        QObject::connect(&file, &QLineEdit::textChanged, [&] { ran << QStringLiteral("file"); });
        LineEditFields f({&file, [&] { ran << QStringLiteral("file"); }},
                         {&start, [&] { ran << QStringLiteral("start"); }},
                         {&end, [&] { ran << QStringLiteral("end"); }},
                         [&] { ran << QStringLiteral("click"); });
        f.PutFile(QStringLiteral("a.wav")); // changed: through the box's own signal, once
        f.PutFile(QStringLiteral("a.wav")); // unchanged: run directly
        f.PutStartPos(QString());           // the box holds "" already
        f.ListView1_Click();
        QCOMPARE(ran, QStringList({"file", "file", "start", "click"}));
        QCOMPARE(f.FileText(), QStringLiteral("a.wav"));
    }

    void waitRunsEventsBetweenSlicesAndEndApp() {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        clsMP3 mp3r(std::move(runner));
        r->slicesToEnd = 3;
        int posted = 0;
        r->onSlice = [&](int slice) {
            if (slice == 1) QTimer::singleShot(0, [&] { ++posted; });
        };
        QCOMPARE(mp3r.StartApp(QStringLiteral("dec"), {QStringLiteral("x")}), 0);
        mp3r.WaitForAppToEnd();
        QCOMPARE(r->slices, 3);
        QCOMPARE(posted, 1); // the event posted in the first slice ran before the end
        QVERIFY(mp3r.AppSucceeded());
        // EndApp ends the latest process with exit code 1, seen at the next slice.
        r->slicesToEnd = 100;
        r->onSlice = [&](int slice) {
            if (slice == 2) mp3r.EndApp();
        };
        mp3r.StartApp(QStringLiteral("dec"), {});
        mp3r.WaitForAppToEnd();
        QCOMPARE(r->terminatedWith, 1);
        QCOMPARE(r->slices, 5);
        QVERIFY(!mp3r.AppSucceeded());
        // A program that could not be started is not waited for.
        r->startFails = true;
        QCOMPARE(mp3r.StartApp(QStringLiteral("dec"), {}), 1);
        mp3r.WaitForAppToEnd();
        QCOMPARE(r->slices, 5);
    }

    void decodingWindowAnimatesAndCancels() {
        auto runner = std::make_unique<ScriptedProcessRunner>();
        ScriptedProcessRunner* r = runner.get();
        clsMP3 mp3r(std::move(runner));
        mp3r.StartApp(QStringLiteral("dec"), {});
        QPointer<Form6> form = new Form6(mp3r, &shell->window);
        QVERIFY(form->isWindow());
        QCOMPARE(form->parentWidget(), &shell->window);
        QCOMPARE(form->Label1->text(), QStringLiteral("Decoding MP3 to WAV format.  Please Wait..."));
        QCOMPARE(form->Command1->text(), QStringLiteral("Cancel"));
        QCOMPARE(form->Timer1->interval(), 10);
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->StripLeftTw(), -1000);
        // 100 twips a tick; at 4500 or more the strip starts again at -3000.
        form->Timer1_Timer();
        QCOMPARE(form->StripLeftTw(), -900);
        for (int i = 0; i < 53; ++i)
            form->Timer1_Timer();
        QCOMPARE(form->StripLeftTw(), 4400);
        form->Timer1_Timer();
        QCOMPARE(form->StripLeftTw(), -3000);
        QCOMPARE(form->Picture2->x(), -200); // -3000 twips at 15 twips per pixel
        QCOMPARE(form->Squares[3]->x(), 156);  // 2340 twips
        form->show();
        form->Command1->click();
        QCOMPARE(r->terminatedWith, 1);
        QVERIFY(ConvertCanceled);
        QVERIFY(form.isNull() || !form->isVisible());
        QTRY_VERIFY(form.isNull());
    }

    void wavAndWmaTakenWithoutQuestion() {
        fields->start = QStringLiteral("5");
        shell->scripted.queueFile(wav2s);
        media->cmdBrowse_Click();
        QCOMPARE(shell->scripted.calls().size(), 1);
        const auto& call = shell->scripted.calls().constFirst();
        QCOMPARE(call.kind, ScriptedDialogs::Call::Open);
        QCOMPARE(call.title, QStringLiteral("Open File"));
        QCOMPARE(fields->log,
                 QStringList({QStringLiteral("End=2"), QStringLiteral("Start=0"),
                              QStringLiteral("File=") + wav2s, QStringLiteral("Click")}));
        fields->log.clear();
        shell->scripted.queueFile(wma);
        media->cmdBrowse_Click();
        QCOMPARE(shell->scripted.calls().size(), 2); // no question
        QCOMPARE(fields->log.size(), 4);
        QCOMPARE(fields->file, wma);
        QVERIFY(std::abs(FieldNumber(fields->end) - 1.0) < 0.1);
    }

    void cancelledDialogAndRefusedFileChangeNothing() {
        media->cmdBrowse_Click(); // nothing queued: the dialog is cancelled
        const QString junk = path(QStringLiteral("junk.wav"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4000, 'x'));
        f.close();
        shell->scripted.queueFile(junk);
        media->cmdBrowse_Click();
        QVERIFY(fields->log.isEmpty());
        QCOMPARE(shell->scripted.calls().size(), 2); // two dialogs, no message
    }

    void mp3AskedInAnyCaseAndNoTakesIt() {
        shell->scripted.queueFile(mp3);
        shell->scripted.queueAnswer(MsgResult::No);
        media->cmdBrowse_Click();
        const auto calls = shell->scripted.calls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[1].kind, ScriptedDialogs::Call::Message);
        QCOMPARE(calls[1].title, QStringLiteral("Select File"));
        QCOMPARE(calls[1].buttons, MsgButtons::YesNo);
        QCOMPARE(calls[1].icon, MsgIcon::Question);
        QCOMPARE(calls[1].text, kConvertQuestion);
        QVERIFY(calls[1].text.contains(QStringLiteral("begins.\r\n\r\nWould you")));
        QCOMPARE(fields->file, mp3);
        QVERIFY(std::abs(FieldNumber(fields->end) - 1.5) < 0.1);
        QVERIFY(media->decodingWindow() == nullptr);
    }

    void yesDecodesWithTheRealDecoder() {
        const QString src = path(QStringLiteral("live.take2.mp3"));
        QVERIFY(QFile::copy(mp3, src));
        int mainTicks = 0;
        QTimer mainTimer; // a timer of the main window goes on while the decoder runs
        connect(&mainTimer, &QTimer::timeout, [&] { ++mainTicks; });
        mainTimer.start(5);
        int stripMoves = 0;
        int stripAt = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            if (Form6* f = media->decodingWindow()) {
                if (f->StripLeftTw() != stripAt) ++stripMoves;
                stripAt = f->StripLeftTw();
            }
        });
        watch.start(20);
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        const QString wav = path(QStringLiteral("live.wav"));
        QVERIFY(QFile::exists(wav));
        QCOMPARE(fields->file, wav);
        QCOMPARE(fields->start, QStringLiteral("0"));
        // The length is the decoded file's (the decoder may add its own padding).
        QVERIFY(std::abs(FieldNumber(fields->end) - 1.5) < 0.15);
        QCOMPARE(fields->log.constLast(), QStringLiteral("Click"));
        QVERIFY(mainTicks > 5);
        QVERIFY(stripMoves > 3);
        QTRY_VERIFY(media->decodingWindow() == nullptr);
    }

    void pathWithBlanksQuotesAndSymbolsDecodes() {
        const QString sub = path(QStringLiteral("it's \"a\" $HOME; rm -f x"));
        QVERIFY(QDir().mkpath(sub));
        const QString src = sub + QStringLiteral("/Ünïcødé $(touch pwned) `x`; song.mp3");
        QVERIFY(QFile::copy(mp3, src));
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        const QString wav = sub + QStringLiteral("/Ünïcødé $(touch pwned) `x`; song.wav");
        QCOMPARE(fields->file, wav);
        QVERIFY(QFile::exists(wav));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
        QVERIFY(!QFile::exists(sub + QStringLiteral("/pwned")));
    }

    void takenNameGivesNumberedName() {
        const QString src = path(QStringLiteral("take.mp3"));
        QVERIFY(QFile::copy(mp3, src));
        const QString taken = path(QStringLiteral("take.wav"));
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
        f.close();
        QCOMPARE(MediaCommands::DecodedName(src), path(QStringLiteral("take (2).wav")));
        ScriptedProcessRunner* r = useScripted(2);
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(r->program, AppLame());
        QCOMPARE(r->arguments, QStringList({QStringLiteral("--decode"), src,
                                            path(QStringLiteral("take (2).wav"))}));
        QCOMPARE(fields->file, path(QStringLiteral("take (2).wav")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
        f.close();
        QVERIFY(QFile::copy(wav2s, path(QStringLiteral("take (3).wav"))) ||
                QFile::exists(path(QStringLiteral("take (3).wav"))));
        QCOMPARE(MediaCommands::DecodedName(src), path(QStringLiteral("take (4).wav")));
        QCOMPARE(MediaCommands::DecodedName(QStringLiteral("/nowhere/a.b.c.mp3")),
                 QStringLiteral("/nowhere/a.wav"));
    }

    void cancelGivesWarningAndNoFile() {
        fields->start = QStringLiteral("1.5");
        fields->end = QStringLiteral("9");
        const QString src = path(QStringLiteral("cancel.mp3"));
        QVERIFY(QFile::copy(mp3, src));
        ScriptedProcessRunner* r = useScripted(50);
        r->onSlice = [this](int slice) {
            if (slice == 3) media->decodingWindow()->Command1->click();
        };
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(r->terminatedWith, 1);
        QCOMPARE(r->slices, 3); // the wait saw the ended process and went no further
        QCOMPARE(shell->lastStatus(), kConvertCanceledText);
        QCOMPARE(shell->lastColour(), kYellow);
        QCOMPARE(fields->log, QStringList({QStringLiteral("File=0")}));
        QCOMPARE(fields->start, QStringLiteral("1.5"));
        QCOMPARE(fields->end, QStringLiteral("9"));
        QVERIFY(!QFile::exists(path(QStringLiteral("cancel.wav"))));
    }

    void secondDecodingWhileOneRunsIsRefused() {
        const QString first = path(QStringLiteral("first.mp3"));
        const QString second = path(QStringLiteral("second.mp3"));
        QVERIFY(QFile::copy(mp3, first));
        QVERIFY(QFile::copy(mp3, second));
        ScriptedProcessRunner* r = useScripted(3);
        QStringList nestedLog;
        r->onSlice = [&](int slice) {
            if (slice != 1) return;
            // The operator presses Browse again while the first decoding runs.
            shell->scripted.queueFile(second);
            shell->scripted.queueAnswer(MsgResult::Yes);
            media->cmdBrowse_Click();
            nestedLog = fields->log;
        };
        shell->scripted.queueFile(first);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(r->starts, 1);
        QVERIFY(nestedLog.isEmpty()); // the second choice wrote nothing
        const auto h = shell->status().history();
        QVERIFY(std::any_of(h.begin(), h.end(),
                            [](const auto& e) { return e.text == kDecodingBusyText; }));
        QCOMPARE(fields->file, path(QStringLiteral("first.wav")));
        QVERIFY(!QFile::exists(path(QStringLiteral("second.wav"))));
        // Once done, the next decoding runs again.
        r->onSlice = nullptr;
        shell->scripted.queueFile(second);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(fields->file, path(QStringLiteral("second.wav")));
    }

    void cancelInFirstHalfSecondStillDecodes() {
        const QString src = path(QStringLiteral("early.mp3"));
        QVERIFY(QFile::copy(mp3, src));
        ScriptedProcessRunner* r = useScripted(2);
        QTimer::singleShot(100, this, [this] {
            QVERIFY(media->decodingWindow() != nullptr);
            media->decodingWindow()->Command1->click();
        });
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        // The flag was cleared before the decoder started, so the decoding completed.
        QCOMPARE(r->starts, 1);
        QCOMPARE(r->terminatedWith, -1);
        QCOMPARE(fields->file, path(QStringLiteral("early.wav")));
        QCOMPARE(fields->end, QStringLiteral("2"));
        QVERIFY(!ConvertCanceled);
    }

    void missingDecoderReportedAndNothingWaits() {
        fields->file = QStringLiteral("/old/cue.wav");
        media->DecoderPath = path(QStringLiteral("no-such-lame"));
        shell->scripted.queueFile(mp3);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(shell->lastColour(), kRed);
        QVERIFY(shell->lastStatus().contains(QStringLiteral("MP3 decoder")));
        QVERIFY(fields->log.isEmpty());
        QCOMPARE(fields->file, QStringLiteral("/old/cue.wav"));
        QTRY_VERIFY(media->decodingWindow() == nullptr);
    }

    void failingDecoderReportedNamingTheFile() {
        const QString src = path(QStringLiteral("broken.mp3"));
        QVERIFY(QFile::copy(mp3, src));
        // Ends with a failure status, having written a playable file anyway.
        ScriptedProcessRunner* r = useScripted(2);
        r->endExitCode = 1;
        shell->scripted.queueFile(src);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(shell->lastColour(), kRed);
        QVERIFY(shell->lastStatus().contains(QStringLiteral("broken.mp3")));
        QVERIFY(fields->log.isEmpty());
        // Ends well but writes nothing.
        useScripted(1, false);
        const QString src2 = path(QStringLiteral("silent.mp3"));
        QVERIFY(QFile::copy(mp3, src2));
        shell->scripted.queueFile(src2);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(shell->lastColour(), kRed);
        QVERIFY(shell->lastStatus().contains(QStringLiteral("silent.mp3")));
        QVERIFY(fields->log.isEmpty());
        // The real decoder given a file that is no MP3 at all.
        const QString fake = path(QStringLiteral("fake.mp3"));
        QVERIFY(QFile::copy(wav2s, fake)); // the player takes it; the decoder refuses it
        media->setMP3(std::make_unique<clsMP3>());
        shell->scripted.queueFile(fake);
        shell->scripted.queueAnswer(MsgResult::Yes);
        media->cmdBrowse_Click();
        QCOMPARE(shell->lastColour(), kRed);
        QVERIFY(shell->lastStatus().contains(QStringLiteral("fake.mp3")));
        QVERIFY(fields->log.isEmpty());
    }
};

QTEST_MAIN(MediaChoiceTest)
#include "test_media_choice.moc"
