// The real open and save dialogs, typed into: names holding quotes name the file they spell.

#include "platform/Dialogs.h"

#include <QtTest>
#include <QtWidgets>

using namespace sorvane;

namespace {

struct Drive {
    FileDialogResult result;
    QStringList messages;  // the texts of message boxes the dialog showed
    bool leftOpen = false; // the dialog was still open after the last typed text
};

// Types each text and Return into the real dialog's name box; message boxes are closed (No).
Drive TypeIntoDialog(QStringList typed, bool save) {
    Drive drive;
    bool busy = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            drive.messages << box->text();
            box->reject();
        } else if (dialog && !busy && typed.isEmpty()) {
            drive.leftOpen = true;
            dialog->reject();
        } else if (dialog && !busy) {
            // Typed later: a message box it raises runs a loop in which this timer closes it.
            busy = true;
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QTimer::singleShot(0, edit, [&, edit, text = typed.takeFirst()] {
                edit->clear();
                QTest::keyClicks(edit, text);
                QTest::keyClick(edit, Qt::Key_Return);
                busy = false;
            });
        }
    });
    timer.start(20);
    QtDialogs dialogs;
    FileDialogRequest request{"Open File", "Audio File|*.mp3;*.wav;*.wma", "", {}};
    if (save) request = {"Save Show", "Sorvane Show (*.cue)|*.cue", "cue", {}};
    drive.result = save ? dialogs.saveFile(nullptr, request) : dialogs.openFile(nullptr, request);
    return drive;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    // "@" a folder with quotes, "#" a plain one; chosen empty: left open after one message.
    void typedNamesNameTheFileTheySpell_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("chosen");
        const auto row = [](const char* name, bool save, const QString& existing,
                            const QStringList& typed, const QString& chosen) {
            QTest::newRow(name) << save << existing << typed << chosen;
        };
        for (const char* n : {"Ben's \"big\" wind $HOME; take.2.mp3", "\"quoted\".mp3",
                              "plain name.wav", "a \"b\" \"c\".mp3"})
            row(n, false, "@/" + QString(n), {"@/" + QString(n)}, "@/" + QString(n));
        row("folder, then name", false, "@/The \"end\".wav", {"@", "The \"end\".wav"},
            "@/The \"end\".wav");
        row("one name in quotes", false, "#/song.mp3", {"#", "\"song.mp3\""}, "#/song.mp3");
        row("a name that names nothing", false, "", {"@/Ben's \"big\".mp3"}, "");
        row("save adds the extension", true, "", {"@", "Act \"one\" show"},
            "@/Act \"one\" show.cue");
        row("save keeps dots", true, "", {"#", "Bob's \"cut\".v2.cue"}, "#/Bob's \"cut\".v2.cue");
        row("save over a file asks", true, "#/Old \"take\".cue", {"#", "Old \"take\""}, "");
        row("save of a name in quotes", true, "", {"#", "\"plain\""}, "#/plain.cue");
    }
    void typedNamesNameTheFileTheySpell() {
        QFETCH(bool, save);
        QFETCH(QString, existing);
        QFETCH(QStringList, typed);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        const QStringList folders = {dir.filePath("Act 'one' \"storm\""), dir.filePath("shows")};
        QVERIFY(QDir().mkpath(folders[0]) && QDir().mkpath(folders[1]));
        for (QString* s : {&existing, &chosen})
            s->replace('@', folders[0]).replace('#', folders[1]);
        typed.replaceInStrings("@", folders[0]).replaceInStrings("#", folders[1]);
        QFile file(existing);
        if (!existing.isEmpty()) QVERIFY(file.open(QIODevice::WriteOnly));
        const Drive drive = TypeIntoDialog(typed, save);
        QCOMPARE(drive.result.accepted, !chosen.isEmpty());
        QCOMPARE(drive.leftOpen, chosen.isEmpty());
        QCOMPARE(drive.messages.size(), chosen.isEmpty() ? 1 : 0);
        QCOMPARE(drive.result.fileName, chosen);
        if (save && chosen.isEmpty())
            QVERIFY(drive.messages[0].contains(QFileInfo(existing).fileName()));
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
