#pragma once

// The media commands' fields over three text boxes whose change handlers store their text in
// the selected cue.

#include "MediaFields.h"

#include <functional>

class QLineEdit;

namespace sorvane {

class LineEditFields final : public MediaFields {
public:
    struct Field {
        QLineEdit* box = nullptr;
        std::function<void()> handler; // the box's change handler (also run by its own edits)
    };
    // The cue list's side: the selected cue, where a cue stands, the store into a cue.
    struct Cues {
        std::function<CueRef()> selected;
        std::function<CuePlace(const CueRef&)> locate;
        std::function<void(const CueRef&, const QString&, const QString&, const QString&)> store;
    };
    LineEditFields(Field file, Field start, Field end, std::function<void()> listClick, Cues cues);

    QString FileText() const override;
    QString StartPosText() const override;
    QString EndPosText() const override;
    void PutFile(const QString& text) override { put(file_, text); }
    void PutStartPos(const QString& text) override { put(start_, text); }
    void PutEndPos(const QString& text) override { put(end_, text); }
    void ListView1_Click() override;
    CueRef SelectedCue() const override { return cues_.selected(); }
    CuePlace Locate(const CueRef& cue) const override { return cues_.locate(cue); }
    void StoreInCue(const CueRef& cue, const QString& file, const QString& start,
                    const QString& end) override {
        cues_.store(cue, file, start, end);
    }

private:
    // A changed text runs the handler through the box's own change signal; an unchanged one
    // runs it directly, so that every put stores its value.
    static void put(const Field& f, const QString& text);
    Field file_, start_, end_;
    std::function<void()> listClick_;
    Cues cues_;
};

} // namespace sorvane
