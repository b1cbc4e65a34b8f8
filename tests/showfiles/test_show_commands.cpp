// The show file commands through the real main window: saves byte for byte, round trips in
// every locale, the media gathered from the show loaded before, failed copies, edits and
// Cancel while a save runs, and the loaders with the dialog's file name.

#include "ShowWindow.h"
#include "showfiles/FileAssoc.h"
#include "showfiles/ShowFileFormat.h"

#include <QLabel>
#include <QLocale>

using namespace sorvane;
using namespace sorvane::testing;

namespace {

// Each row as its text, then every sub-item's stored value as text and display text.
QStringList Snapshot(const CueListModel& m) {
    QStringList out;
    for (int i = 0; i < m.count(); ++i) {
        const CueRow& r = m.row(i);
        QStringList fields{r.text};
        for (int k = 1; k <= r.subCount; ++k)
            fields << r.at(k).value.toText() + QLatin1Char('|') + r.at(k).text;
        out << fields.join(QLatin1Char(';'));
    }
    return out;
}

} // namespace

class ShowCommandsTest : public QObject, ShowWindow {
    Q_OBJECT

private slots:
    void initTestCase() { prepare(); }
    void init() { start(); }
    void cleanup() {
        form.reset();
        QLocale::setDefault(QLocale::c());
    }

    void startRegistersTheShowType() {
        // The window's load registered the type in the store of the (temporary) user folder.
        const QString root = ClassesRootText();
        QCOMPARE(RegGetString(root, ".cue", QString(), QString()), u"sorvane"_s);
        QCOMPARE(RegGetString(root, "sorvane\\shell\\open\\command", QString(), QString()),
                 '"' + ApplicationFolder() + "/sorvane\" %1");
        QVERIFY(exists("xdg/config/sorvane/registry.json"));
    }

    void exampleLineByteForByte() {
        write("Sounds/rain.wav", Wav("rain"));
        setShow(
            {Line("2,Rain heavy,1,0,0," + path("Sounds/rain.wav") + ",-800,1,0,4,5,0,1.5,12.25")});
        ShowFilename = path("loaded.cue");
        QDir().mkpath(path("Example"));
        save("Example/show.cue");
        QCOMPARE(read("Example/show.cue"),
                 QByteArray("2,Rain heavy,1,0,0,rain.wav,-800,1,0,4,5,0,1.5,12.25,\r\n"));
        QCOMPARE(read("Example/ShowFiles/rain.wav"), Wav("rain"));
        QCOMPARE(fileOf(0), u"rain.wav"_s);
        QCOMPARE(ShowFolder, path("Example/"));
        QCOMPARE(ShowFilename, path("loaded.cue")); // the save never changes it
        QCOMPARE(form->status().lblStatus->text(), u"Show Saved Successfully - show.cue"_s);
        // The dialog proposed the show loaded last, with the show file settings.
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path("loaded.cue"));
        QCOMPARE(dialogs.calls().last().title, u"Open Show"_s);
        QVERIFY(!files().isSaving());
        QVERIFY(files().form3() == nullptr);
        QVERIFY(form->frame().cmdSave->isEnabled());
        // No temporary file is left beside the show.
        QCOMPARE(filesIn("Example"), QStringList{"show.cue"});
    }

    void roundTripOfEveryAction_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("decimal point") << "C";
        QTest::newRow("decimal comma") << "de_DE";
    }
    void roundTripOfEveryAction() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        write("Round/media/thunder.wav", Wav("thunder"));
        std::vector<CueRow> rows = EveryAction(path("Round/media/thunder.wav"));
        // A rate typed in this locale and markers the panel stored as numbers.
        const QString rate = QLocale().toString(1.5);
        rows[6].at(kRate) = {StoredValue::text(rate), rate};
        rows[0].at(kSelectionStart) = {StoredValue::number(2.75), QLocale().toString(2.75)};
        rows[0].at(kSelectionEnd) = {StoredValue::number(12.25), QLocale().toString(12.25)};
        setShow(rows);
        save("Round/show.cue");
        const QStringList before = Snapshot(model());
        QCOMPARE(before.size(), 9);
        // Characters beyond Windows-1252 make the file UTF-8; numbers keep a point.
        const QString text = QString::fromUtf8(read("Round/show.cue"));
        QVERIFY(text.contains(u"\u96f7\u306e\u97f3"_s));
        QVERIFY(text.contains(u",1.5,"_s));
        QVERIFY(text.contains(u",2.75,12.25,\r\n"_s));
        files().Command1_Click();
        QCOMPARE(model().count(), 0);
        load("Round/show.cue");
        QCOMPARE(Snapshot(model()), before);
        QCOMPARE(*model().row(6).at(kRate).value.toNumber(), 1.5);
        QCOMPARE(*model().row(0).at(kSelectionStart).value.toNumber(), 2.75);
        for (int i = 1; i < model().count(); ++i)
            for (int k = 1; k <= kSubItemCount; ++k)
                QCOMPARE(model().row(i).at(k).value.kind(), StoredValue::Kind::Text);
        QCOMPARE(model().row(8).at(kAction).text, u"Delay (500ms)"_s);
        QCOMPARE(model().row(0).at(kFile).text, u"thunder.wav"_s);
        // After a load: row 1 selected, no current cue, the show's folder and name.
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, u"-1"_s);
        QCOMPARE(ShowFolder, path("Round/"));
        QCOMPARE(ShowFilename, path("Round/show.cue"));
        // Saved again, the same bytes come out.
        save("Round/again.cue");
        QCOMPARE(read("Round/again.cue"), read("Round/show.cue"));
    }

    void savingElsewhereCopiesFromTheOldShowFiles() {
        write("E/Shows/ShowFiles/door.wav", Wav("door"));
        write("E/Shows/ShowFiles/bell.wav", Wav("bell"));
        write("E/Shows/a.cue", "1,Door,0,0,0,door.wav,0,1,0,0,10,1,0,0,\r\n"
                               "2,Bell,1,0,0,bell.wav,0,1,0,0,10,1,0,0,\r\n"
                               "3,Gone,1,0,0,gone.wav,0,1,0,0,10,1,0,0,\r\n");
        load("E/Shows/a.cue");
        QDir().mkpath(path("D/New"));
        save("D/New/b.cue");
        QCOMPARE(read("D/New/ShowFiles/door.wav"), Wav("door"));
        QCOMPARE(read("D/New/ShowFiles/bell.wav"), Wav("bell"));
        QCOMPARE(ShowFolder, path("D/New/"));
        // Media found nowhere keep their value and nothing is said about them.
        QVERIFY(read("D/New/b.cue").contains(",gone.wav,"));
        QCOMPARE(entries("Unable to copy"), 0);
    }

    void sameNameFromDifferentFolders() {
        write("A/rain.wav", Wav("AAAA"));
        write("B/rain.wav", Wav("BBBB"));
        write("Same/ShowFiles/rain (2).wav", "older copy");
        std::vector<CueRow> rows = EveryAction(path("A/rain.wav"));
        rows[1].at(kFile).value = StoredValue::text(path("B/rain.wav"));
        setShow(rows);
        save("Same/show.cue");
        QCOMPARE(read("Same/ShowFiles/rain.wav"), Wav("AAAA"));
        // A file of that name with other content is never replaced: the next free name.
        QCOMPARE(read("Same/ShowFiles/rain (2).wav"), QByteArray("older copy"));
        QCOMPARE(read("Same/ShowFiles/rain (3).wav"), Wav("BBBB"));
        QCOMPARE(fileOf(0), u"rain.wav"_s);
        QCOMPARE(fileOf(1), u"rain (3).wav"_s);
        QCOMPARE(fileOf(7), u"rain.wav"_s);
        // Saved again into the same folder, every cue keeps its own file.
        save("Same/show.cue");
        QCOMPARE(filesIn("Same/ShowFiles").size(), 3);
        QCOMPARE(fileOf(1), u"rain (3).wav"_s);
        QCOMPARE(read("Same/ShowFiles/rain (3).wav"), Wav("BBBB"));
    }

    // A media file whose copy fails is reported and the save goes on; its cue keeps a path
    // that still finds it once the show's folder is the new one: a full path stays, and the
    // bare name of the show loaded before becomes the path in that show's folder.
    void failedCopiesKeepAPathToTheirMedia() {
        const QString was = path("Was/ShowFiles/long.wav"), big = path("Src/long.wav");
        write("Was/ShowFiles/long.wav", Wav("w", 32 * 1024));
        write("Src/long.wav", Wav("v", 32 * 1024));
        write("Src/short.wav", Wav("short", 1000));
        write("Was/show.cue", "1,Long,0,0,0,long.wav,0,1,0,0,10,1,0,0,\r\n2,Big,0,0,0," +
                                  big.toUtf8() + ",0,1,0,0,10,1,0,0,\r\n3,Short,0,0,0," +
                                  path("Src/short.wav").toUtf8() + ",0,1,0,0,10,1,0,0,\r\n");
        load("Was/show.cue");
        QDir().mkpath(path("Now"));
        {
            FileSizeLimit limit(8 * 1024); // room for the show and the short media only
            save("Now/show.cue");
        }
        QCOMPARE(entries("Unable to copy media file " + was, kRed), 1);
        QCOMPARE(entries("Unable to copy media file " + big, kRed), 1);
        QVERIFY(saved("show.cue"));
        QCOMPARE(ShowFolder, path("Now/"));
        QCOMPARE(fileOf(0), was);
        QCOMPARE(fileOf(1), big);
        QCOMPARE(fileOf(2), u"short.wav"_s);
        QVERIFY(read("Now/show.cue").contains(("," + was + ",").toUtf8()));
        QVERIFY(read("Now/show.cue").contains(("," + big + ",").toUtf8()));
        QCOMPARE(filesIn("Now/ShowFiles"), QStringList{"short.wav"}); // nothing half copied
        // A save that does not complete gives the cue its bare name back.
        load("Was/show.cue");
        {
            FileSizeLimit limit(8 * 1024);
            QDir().mkpath(path("Now/blocked.cue")); // a folder where the show file should go
            save("Now/blocked.cue");
        }
        QCOMPARE(entries("Show Not Saved - blocked.cue", kRed), 1);
        QCOMPARE(fileOf(0), u"long.wav"_s);
        QCOMPARE(ShowFolder, path("Was/"));
    }

    void cancelInEachPhase_data() {
        QTest::addColumn<int>("phase");
        QTest::newRow("pause") << 0;
        QTest::newRow("media pass") << 1;
        QTest::newRow("write pass") << 2;
    }
    void cancelInEachPhase() {
        QFETCH(int, phase);
        const QString media = path("Cancel/media/hit.wav");
        write("Cancel/media/hit.wav", Wav("hit"));
        const QByteArray old = "1,Kept,0,0,0,0,0,1,0,0,10,1,0,0,\r\n";
        write("Cancel/show.cue", old);
        QDir(path("Cancel/ShowFiles")).removeRecursively();
        setShow(EveryAction(media));
        files().savePause = phase == 0 ? 0.3 : 0;
        const int before = form->status().history().size();
        QVERIFY(saveAnd(
            "Cancel/show.cue",
            [&](int v, bool writing) {
                return phase == 0 || (phase == 1 && v >= 2 && !writing) || (phase == 2 && writing);
            },
            [](Form3& w) { w.Command1->click(); }));
        QVERIFY(SaveCanceled);
        QCOMPARE(read("Cancel/show.cue"), old);
        QCOMPARE(form->status().history().size(), before); // no message
        QVERIFY(ShowFolder.isEmpty());
        // No cue lost its media's path.
        QCOMPARE(fileOf(0), media);
        QCOMPARE(fileOf(7), media);
        QVERIFY(!files().isSaving());
        QVERIFY(files().form3() == nullptr || files().form3()->isHidden());
        QCOMPARE(exists("Cancel/ShowFiles/hit.wav"), phase > 0);
    }

    // Cues added or removed while the save lets events run: the file holds the show as it
    // stands when it is written, every cue once, and every cue's media is gathered.
    void editsWhileSaving() {
        write("Edit/media/hit.wav", Wav("hit"));
        // Selects `row` and runs `edit` once the save's progress reaches `at` in the media
        // pass (1) or the write pass (2).
        auto saveWith = [&](int pass, int at, int row, void (CueListEditor::*edit)()) {
            setShow(EveryAction(path("Edit/media/hit.wav")));
            QVERIFY(saveAnd(
                "Edit/show.cue",
                [&](int v, bool writing) { return v >= at && writing == (pass == 2); },
                [&](Form3&) {
                    cues().SelectRow(row);
                    (cues().*edit)();
                }));
            QVERIFY(saved("show.cue"));
            QStringList expected;
            for (int i = 0; i < model().count(); ++i)
                expected << CueLine(model().row(i));
            QCOMPARE(QString::fromUtf8(read("Edit/show.cue")).split(u"\r\n"_s),
                     expected << QString());
        };
        // Cue 1 deleted in the middle of the write pass.
        saveWith(2, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(model().count(), 8);
        QCOMPARE(description(0), u"Pause"_s);
        // A cue added at the top in the middle of the media pass: the last cue is still
        // written, and the media of cue 8 (now 9) is gathered.
        saveWith(1, 2, 0, &CueListEditor::cmdAddCue_Click);
        QCOMPARE(model().count(), 10);
        QCOMPARE(description(9), u"Hold"_s);
        QCOMPARE(fileOf(8), u"hit.wav"_s);
        // A cue deleted in the middle of the media pass: no cue is passed over.
        saveWith(1, 3, 1, &CueListEditor::cmdDeleteCue_Click);
        QCOMPARE(model().count(), 8);
        QCOMPARE(fileOf(6), u"hit.wav"_s);
    }

    // A save that does not complete gives back the paths it rewrote to the cues it rewrote,
    // also when cues were removed meanwhile.
    void cancelAfterADeleteGivesBackTheRightCue() {
        write("Old/ShowFiles/a.wav", Wav("old a"));
        write("Old/show.cue", "");
        load("Old/show.cue");
        write("Back/media/a.wav", Wav("new a"));
        std::vector<CueRow> rows = EveryAction("0");
        rows[0].at(kFile).value = StoredValue::text(path("Back/media/a.wav"));
        rows[1].at(kFile).value = StoredValue::text("a.wav"); // the old show's
        setShow(std::move(rows));
        QVERIFY(saveAnd(
            "Back/show.cue", [](int v, bool) { return v >= 1; },
            [&](Form3& w) {
                cues().SelectRow(1);
                cues().cmdDeleteCue_Click();
                w.Command1->click();
            }));
        QVERIFY(!files().isSaving());
        QCOMPARE(model().count(), 8);
        QCOMPARE(description(0), u"Pause"_s);
        QCOMPARE(fileOf(0), u"a.wav"_s);
    }

    void loadOldFixtures() {
        const QString data = qEnvironmentVariable("SORVANE_TEST_DATA") + "/showfiles/";
        form->frame().Command7->show();
        AutoShowProperties = true;
        dialogs.queueFile(data + "show-basic.mdb");
        form->frame().Command7->click();
        QVERIFY(!AutoShowProperties);
        QCOMPARE(model().count(), 8);
        QCOMPARE(model().row(7).text, u"8"_s);
        QCOMPARE(model().row(1).at(kAction).text, u"Delay (500ms)"_s);
        QCOMPARE(model().row(0).at(kFile).text, u"C:\\Shows\\Media\\preshow.mp3"_s);
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(cues().ListView1Tag, u"-1"_s);
        QCOMPARE(ShowFilename, data + "show-basic.mdb");
        QCOMPARE(ShowFolder, data);
        // What is no such database is refused with a message, and the show stays.
        const QStringList shown = Snapshot(model());
        write("Old/text.cue", "1,Text show,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        for (const QString& file :
             {data + "no-cuelist.mdb", path("Old/text.cue"), path("Old/missing.cue")}) {
            dialogs.clearCalls();
            dialogs.queueFile(file);
            files().Command7_Click();
            QCOMPARE(dialogs.calls().size(), 2);
            const auto& msg = dialogs.calls().last();
            QCOMPARE(msg.kind, ScriptedDialogs::Call::Message);
            QCOMPARE(msg.text, u"Unable to open file.  Unrecognized Data Format."_s);
            QCOMPARE(msg.title, u"Error!"_s);
            QCOMPARE(msg.icon, MsgIcon::Critical);
            QCOMPARE(Snapshot(model()), shown);
            QCOMPARE(ShowFilename, data + "show-basic.mdb");
        }
        dialogs.clearCalls();
        dialogs.queueFile(data + "show-empty.mdb");
        files().Command7_Click();
        QCOMPARE(dialogs.calls().size(), 1); // no message
        QCOMPARE(model().count(), 0);
        QCOMPARE(ShowFilename, data + "show-empty.mdb");
    }

    void loadCommandAndTheDialogsFileName() {
        write("Cmd/one.cue",
              "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n2,Two,1,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QPushButton* load = form->frame().cmdLoadShow;

        // Cancel while the dialog never held a name: nothing happens, GO gets the focus.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().size(), 1);
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Open);
        QCOMPARE(dialogs.calls().last().title, u"Open Show"_s);
        QCOMPARE(model().count(), 0);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);

        AutoShowProperties = true;
        dialogs.queueFile(path("Cmd/one.cue"));
        load->setFocus();
        load->click();
        QCOMPARE(model().count(), 2);
        QVERIFY(!AutoShowProperties);
        QCOMPARE(cues().SelectedIndex(), 1);
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        QCOMPARE(files().CMDialog1FileName, path("Cmd/one.cue"));

        // Cancel after a load: the show stays, the dialog started from the last name, and
        // the focus stays on the button.
        load->setFocus();
        load->click();
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        QCOMPARE(model().count(), 2);
        QCOMPARE(form->focusWidget(), load);

        // Save proposes the show loaded last, also after a save under another name.
        save("Cmd/two.cue");
        QCOMPARE(files().CMDialog1FileName, path("Cmd/two.cue"));
        dialogs.queueFile(QString()); // Cancel
        form->frame().cmdSave->click();
        QCOMPARE(dialogs.calls().last().kind, ScriptedDialogs::Call::Save);
        QCOMPARE(dialogs.calls().last().text, path("Cmd/one.cue"));
        QCOMPARE(form->focusWidget(), form->frame().cmdGo);
        QCOMPARE(ShowFolder, path("Cmd/"));
    }

    void createNew() {
        write("New/one.cue", "1,One,0,0,0,0,0,1,0,0,10,1,0,0,\r\n");
        load("New/one.cue");
        form->status().ShowStatus("something else", 2);
        form->frame().Command1->click();
        QCOMPARE(model().count(), 0);
        const auto history = form->status().history();
        QCOMPARE(history.size(), 1);
        QCOMPARE(history.first().text, u"Sorvane 1.0 Ready.     rev.2"_s);
        QCOMPARE(history.first().colour, kWhite);
        QVERIFY(!form->frame().cmdProperties->isEnabled());
        QVERIFY(cues().pctProperties()->isHidden());
        // The show's folder and name stay for the next save.
        QCOMPARE(ShowFilename, path("New/one.cue"));
        QCOMPARE(ShowFolder, path("New/"));
    }

    void commandsWaitWhileASaveRuns() {
        setShow(EveryAction("0"));
        files().savePause = 0.05;
        QVERIFY(saveAnd(
            "Busy/show.cue", [&](int v, bool) { return files().isSaving() && v >= 1; },
            [&](Form3& w) {
                // The saving window counts the cues; the commands wait for the save.
                QVERIFY(!w.isHidden());
                QCOMPARE(w.ProgressBar1->maximum(), 9);
                QVERIFY(!form->frame().Command1->isEnabled());
                const int calls = dialogs.calls().size();
                files().Command1_Click(); // Create New in the middle of the save
                files().Command7_Click(); // Load Old
                QCOMPARE(dialogs.calls().size(), calls);
            }));
        QCOMPARE(model().count(), 9);
        QCOMPARE(QString::fromUtf8(read("Busy/show.cue")).count(u"\r\n"_s), 9);
        QVERIFY(form->frame().Command1->isEnabled());
    }
};

QTEST_MAIN(ShowCommandsTest)
#include "test_show_commands.moc"
