#pragma once

// Shared by the media tests: a stand-in main window, logging fields, an offline engine, media.

#include "core/Module1.h"
#include "core/Shell.h"
#include "core/StatusLine.h"
#include "core/StoredValue.h"
#include "core/Twips.h"
#include "media/Form5.h"
#include "media/MediaCommands.h"
#include "media/MediaFields.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"
#include "platform/engine/MediaPlayer.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>

namespace sorvane::testing {

class TestShell final : public Shell {
public:
    TestShell() {
        frame_.form = &window;
        frame_.client = &window;
        status_ = new StatusLine(*this, &window);
    }
    Frame& frame() override { return frame_; }
    StatusLine& status() override { return *status_; }
    Dialogs& dialogs() override { return scripted; }
    void Form_Resize() override {}
    int OuterWidthTw() const override { return 12000; }
    int OuterHeightTw() const override { return 9000; }
    void FocusGo() override {}
    StatusLine::Entry last() const {
        return status_->history().value(status_->history().size() - 1);
    }

    QWidget window;
    ScriptedDialogs scripted;

private:
    Frame frame_;
    StatusLine* status_ = nullptr;
};

// The panel's three fields over one cue that stays selected; writes and list clicks are logged.
class RecordingFields final : public MediaFields {
public:
    QString file = QStringLiteral("0"), start = QStringLiteral("0"), end = QStringLiteral("0");
    QStringList log; // "End=...", "Start=...", "File=...", "Click"

    QString FileText() const override { return file; }
    QString StartPosText() const override { return start; }
    QString EndPosText() const override { return end; }
    void PutFile(const QString& t) override { file = t, log << QStringLiteral("File=") + t; }
    void PutStartPos(const QString& t) override { start = t, log << QStringLiteral("Start=") + t; }
    void PutEndPos(const QString& t) override { end = t, log << QStringLiteral("End=") + t; }
    void ListView1_Click() override { log << QStringLiteral("Click"); }
    CueRef SelectedCue() const override { return {1, 1}; }
    CuePlace Locate(const CueRef&) const override { return CuePlace::Selected; }
    void StoreInCue(const CueRef&, const QString&, const QString&, const QString&) override {
        log << QStringLiteral("Store");
    }
};

// A stereo 48 kHz sine encoded by ffmpeg with `codec`.
inline bool MakeWithFfmpeg(const QString& path, double seconds,
                           const QString& codec = QStringLiteral("libmp3lame")) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {"-v", "error", "-y", "-f", "lavfi", "-i",
             QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), "-ac", "2", "-ar",
             "48000", "-c:a", codec, path});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// The media commands on one offline engine; a 10-second WAV and a file no player takes.
class MediaFixture {
protected:
    QTemporaryDir dir;
    std::unique_ptr<AudioEngine> engine;
    std::unique_ptr<TestShell> shell;
    std::unique_ptr<RecordingFields> fields;
    std::unique_ptr<MediaCommands> media;

    QString path(const QString& name) const { return dir.filePath(name); }
    static QString AppLame() { return qEnvironmentVariable("SORVANE_APP_DIR") + "/lame"; }

    void open() {
        media.reset();
        if (!engine)
            engine = std::make_unique<AudioEngine>(
                AudioEngine::Options{.output = AudioEngine::Output::Offline});
        shell = std::make_unique<TestShell>();
        fields = std::make_unique<RecordingFields>();
        media = std::make_unique<MediaCommands>(*shell, *engine, *fields, &shell->window);
        media->DecoderPath = AppLame();
        ShowFolder.clear();
        if (QFile::exists(path("ten.wav"))) return;
        QFile junk(path("junk.wav"));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4000, 'x')) == 4000);
        QVERIFY(MakeWithFfmpeg(path("ten.wav"), 10.0, "pcm_s16le"));
    }

    std::unique_ptr<Form5> openEditor(double start, double end) {
        auto form = std::make_unique<Form5>(*engine, *fields, nullptr);
        form->MediaPlayer1->setFileName(path("ten.wav"));
        MediaLength = form->MediaPlayer1->SelectionEnd();
        form->MediaPlayer1->setSelectionStart(start);
        form->MediaPlayer1->setSelectionEnd(end);
        form->SetMarkers();
        return form;
    }
};

} // namespace sorvane::testing
