#pragma once

// The process-wide values shared by every window, and the small utilities every
// subsystem uses.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/VersionProbe.h"

class QWidget;

namespace sorvane {

class StatusLine;

// --- process-wide values ---------------------------------------------------
inline bool ManualGo = false;           // the pending GO is the operator's
inline bool ShowHalted = false;         // set by Stop until the next operator GO
inline bool DelayHalted = false;        // set by Stop until the next operator GO
inline bool IterationPending = false;   // a Wait For End of Iteration cue ran
inline bool AutoShowProperties = false; // show the properties panel when a cue is selected
inline QString ShowFolder;              // folder of the current show file, with its separator
inline QString ShowFilename;            // the show file last loaded
inline bool SaveCanceled = false;       // Cancel pressed in the saving window
inline bool ConvertCanceled = false;    // Cancel pressed in the decoding window
inline double MediaLength = 0;          // length of the media in the marker editor, seconds
inline QString WindowsVersion;          // name from the version probe
inline std::int16_t DragMarker = -1;    // -1 no drag, 0 start marker, 1 end marker
inline std::int16_t GraphClickX = 0;    // X in twips of the last right-click on the graph

// Folder separator of paths joined by the program.
inline constexpr QChar PathSeparator = QLatin1Char('/');

// --- waits -------------------------------------------------------------------
// Lets pending events and timers run until `Seconds` have passed (at least one pass), or
// until `ended` holds.
void Wait(double Seconds, const std::function<bool()>& ended = {});
// The same, with a live "Delaying:  " counter on the status line; ends early on ShowHalted
// and when `ended` holds.
void DelayWithStatus(StatusLine& status, double Seconds, const std::function<bool()>& ended = {});

// --- files and paths -----------------------------------------------------------
// True for a regular file that can be opened for reading.
bool FileExists(const QString& Path);
// Where a cue's media file is, for playback, the marker editor and the save alike: a name that
// is not a full path is looked up in the current show's "ShowFiles" folder first, then as
// written; a full path names the file itself. Empty when there is no such file, and for a
// cue without media ("0" or nothing).
QString FindMediaFile(const QString& File);
// A file name's bytes as text and back. The bytes are the file system's own: where they are
// not UTF-8, each stray byte is kept as a character of its own, so every name comes back
// to the same bytes and the file can be opened.
QString DecodeFileName(const QByteArray& bytes);
QByteArray EncodeFileName(const QString& name);
QString GetFolder(const QString& Path);   // up to and including the last separator
QString GetFileName(const QString& Path); // after the last separator
QString TrimFilename(const QString& tmpFilename);
QString GetExtension(const QString& Path); // after the last ".", lower case
// The folder that holds the running executable, without a trailing separator; the
// environment variable SORVANE_APP_DIR names another (the tests' own copies of the folder).
QString ApplicationFolder();

// --- version probe -------------------------------------------------------------
// The name for a version record; nothing (the query failed) gives the failure name.
QString WindowsVersionName(const std::optional<VersionRecord>& record);
QString GetWindowsVersion();

// --- windows -----------------------------------------------------------------
// Puts a window into (-1) or out of (0) the topmost band; any other flag leaves it.
void SetTopmost(QWidget* window, std::int16_t onTop);

} // namespace sorvane
