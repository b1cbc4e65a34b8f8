#pragma once

// The fields of the properties panel that the media commands read and write: the selected
// cue's file and its start and end markers, and the list's click handling that reloads the
// panel from the cue. A command that lets events run before it writes remembers its cue by
// identity and stores straight into it when it is no longer the selected one.

#include "core/CueRef.h"

#include <QString>

namespace sorvane {

class MediaFields {
public:
    virtual ~MediaFields() = default;

    virtual QString FileText() const = 0;     // txtFile
    virtual QString StartPosText() const = 0; // txtStartPos
    virtual QString EndPosText() const = 0;   // txtEndPos

    // Each put runs the field's change handler to its end (which stores the value in the
    // selected cue) before it returns, also when the field already holds the text.
    virtual void PutFile(const QString& text) = 0;
    virtual void PutStartPos(const QString& text) = 0;
    virtual void PutEndPos(const QString& text) = 0;

    virtual void ListView1_Click() = 0;

    // The selected cue, where a cue stands now, and a store into a cue that is not selected
    // (a null file leaves its file as it is).
    virtual CueRef SelectedCue() const = 0;
    virtual CuePlace Locate(const CueRef& cue) const = 0;
    virtual void StoreInCue(const CueRef& cue, const QString& file, const QString& start,
                            const QString& end) = 0;
};

} // namespace sorvane
