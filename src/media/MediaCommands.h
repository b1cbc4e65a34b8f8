#pragma once

// The properties panel's two media commands: Browse (`cmdBrowse_Click`: choose the cue's
// media file, offer to decode an MP3 file to WAV) and Edit (`Command6_Click`: the position
// marker editor). The main window owns one instance; it holds the decoder runner `MP3` and
// the hidden test player `mpTemp`.

#include "platform/engine/MediaPlayer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace sorvane {

class AudioEngine;
class Form5;
class Form6;
class MediaFields;
class Shell;
class clsMP3;

class MediaCommands : public QObject {
    Q_OBJECT
public:
    MediaCommands(Shell& shell, AudioEngine& engine, MediaFields& fields, QWidget* window);
    ~MediaCommands() override;

    void cmdBrowse_Click();
    void Command6_Click();

    // The decoder runner, created when first used.
    clsMP3& MP3();
    // Replaces the decoder runner (tests give one with a scripted process).
    void setMP3(std::unique_ptr<clsMP3> mp3);
    MediaPlayer& mpTemp() { return *mpTemp_; }

    // The decoder program: `lame` in the application folder.
    QString DecoderPath;

    // The decoding window while a decoding runs.
    Form6* decodingWindow() const;
    // The marker editor while it is open.
    Form5* editor() const;
    // Runs once the editor is shown modally, inside its wait (tests act there as an operator).
    std::function<void(Form5&)> onEditorShown;

    // The name a decoding writes for `source`: the file name up to its first ".", then
    // ".wav", beside the source; a name already taken gives "name (2).wav", "name (3).wav"...
    static QString DecodedName(const QString& source);

private:
    // Steps of Browse that decode; true when the fields are to be written.
    bool Decode();

    Shell& shell_;
    AudioEngine& engine_;
    MediaFields& fields_;
    QWidget* window_;
    std::unique_ptr<clsMP3> mp3_;
    QPointer<MediaPlayer> mpTemp_;
    QPointer<Form6> form6_;
    QPointer<Form5> form5_;
    bool decoding_ = false; // a decoding is waiting for its decoder
};

// Texts of the media commands.
inline const QString kMediaFilter =
    QStringLiteral("Audio File (*.mp3, *.wav, *.wma)|*.mp3;*.wav;*.wma");
inline const QString kConvertQuestion = QStringLiteral(
    "You have selected an MP3 file.  Because the MP3 file format requires decoding for "
    "playback, a slight delay can occur before playing begins.\r\n\r\nWould you like to "
    "convert this file to WAV format to eliminate the possibility of this delay?");
inline const QString kConvertCanceledText = QStringLiteral(
    "Warning!  Converting process was canceled by user!  File cannot be loaded.");
inline const QString kCueDeletedText =
    QStringLiteral("Warning!  The cue was deleted before its file was ready.  File not loaded: ");
inline const QString kShowChangedText = QStringLiteral(
    "Warning!  Another show was loaded before the file was ready.  File not loaded: ");
inline const QString kDecodingBusyText = QStringLiteral(
    "An MP3 file is being decoded already.  Please wait until it is done.");
inline const QString kNoMediaText =
    QStringLiteral("You must first select a valid media file above.");

} // namespace sorvane
