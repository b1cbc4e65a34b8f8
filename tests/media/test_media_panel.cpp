// Browse and Edit from the properties panel of the real main window: what they write reaches
// the selected cue's row through the panel's fields.

#include "../cuelist/CueListDriver.h"
#include "MediaFixture.h"
#include "core/Module1.h"
#include "media/Form5.h"
#include "media/Form6.h"
#include "media/MediaCommands.h"
#include "media/clsMP3.h"
#include "platform/process/ProcessRunner.h"

#include <QTemporaryDir>

using namespace sorvane;
using namespace sorvane::testing;

class MediaPanelTest : public QObject, CueListDriver {
    Q_OBJECT
    QTemporaryDir dir;
    QString wav;

private slots:
    void initTestCase() {
        wav = dir.filePath(QStringLiteral("rain heavy.wav"));
        QVERIFY(WriteWav(wav, 3.0));
    }
    void init() {
        open();
        insert();
    }
    void cleanup() { form.reset(); }

    void browseWritesTheCue() {
        dialogs.queueFile(wav);
        click(pn().cmdBrowse());
        QCOMPARE(value(1, kFile).toText(), wav);
        QCOMPARE(value(1, kSelectionStart).toNumber().value_or(-1), 0.0);
        QCOMPARE(value(1, kSelectionEnd).toNumber().value_or(-1), 3.0);
        QCOMPARE(pn().txtFile()->text(), wav);
        QCOMPARE(pn().txtEndPos()->text(), QStringLiteral("3"));
        QCOMPARE(text(1, kFile), QStringLiteral("rain heavy.wav"));
        QCOMPARE(form->MP3().MP3Switches(), QString()); // the runner exists once used
    }

    void editDoneWritesBothMarkers() {
        dialogs.queueFile(wav);
        click(pn().cmdBrowse());
        typeInto(pn().txtStartPos(), QStringLiteral("0.5"));
        form->media().onEditorShown = [](Form5& editor) {
            editor.Option1[1]->setChecked(true);
            editor.cmdNudge_Click(0); // the end 0.5 s earlier
            editor.Command1_Click();
        };
        click(pn().Command6());
        QCOMPARE(value(1, kSelectionStart).toNumber().value_or(-1), 0.5);
        QCOMPARE(value(1, kSelectionEnd).toNumber().value_or(-1), 2.5);
        QCOMPARE(pn().txtEndPos()->text(), QStringLiteral("2.5"));
    }

    void cancelledDecodingEmptiesTheFile() {
        dialogs.queueFile(wav);
        click(pn().cmdBrowse());
        const QString mp3 = dir.filePath(QStringLiteral("song.mp3"));
        QVERIFY(MakeMp3(mp3, 1.0));
        auto runner = std::make_unique<ScriptedProcessRunner>();
        runner->slicesToEnd = 20;
        runner->onSlice = [this](int slice) {
            if (slice == 2) form->media().decodingWindow()->Command1->click();
        };
        form->media().setMP3(std::make_unique<clsMP3>(std::move(runner)));
        dialogs.queueFile(mp3);
        dialogs.queueAnswer(MsgResult::Yes);
        click(pn().cmdBrowse());
        QCOMPARE(value(1, kFile).toText(), QStringLiteral("0"));
        QCOMPARE(value(1, kSelectionEnd).toNumber().value_or(-1), 3.0);
        QCOMPARE(lastStatus(), kConvertCanceledText);
    }
};

QTEST_MAIN(MediaPanelTest)
#include "test_media_panel.moc"
