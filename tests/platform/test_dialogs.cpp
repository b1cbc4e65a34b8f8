// The real open dialog, driven by typing into its file name box as an operator does: names
// that hold double quotes, blanks and other marks open the file they name.

#include "platform/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sorvane;

namespace {

struct Drive {
    FileDialogResult result;
    QStringList directories; // the dialog's folder before each typed text
    QStringList messages;    // the texts of message boxes the dialog showed
    bool leftOpen = false;   // the dialog was still open after the last typed text
};

// Opens the real open (or save) dialog and types each text into its file name box, followed
// by Return. Message boxes the dialog shows are answered with No (or closed).
Drive TypeIntoDialog(const QStringList& typed, bool save = false) {
    Drive drive;
    qsizetype step = 0;
    bool busy = false;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            drive.messages << box->text();
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else
                box->reject();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) return;
        if (step == typed.size()) {
            drive.leftOpen = true;
            dialog->reject();
            return;
        }
        if (busy) return;
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        drive.directories << dialog->directory().absolutePath();
        // Typed from the event loop, not from this tick: a message box the dialog shows
        // runs its own loop, in which this timer must go on ticking to close it.
        busy = true;
        QTimer::singleShot(0, edit, [&, edit, text = typed[step++]] {
            edit->clear();
            QTest::keyClicks(edit, text);
            QTest::keyClick(edit, Qt::Key_Return);
            busy = false;
        });
    });
    timer.start();
    QtDialogs dialogs;
    FileDialogRequest request;
    if (save) {
        request.title = QStringLiteral("Save Show");
        request.filter = QStringLiteral("Sorvane Show (*.cue)|*.cue");
        request.defaultExt = QStringLiteral("cue");
        drive.result = dialogs.saveFile(nullptr, request);
    } else {
        request.title = QStringLiteral("Open File");
        request.filter = QStringLiteral("Audio File (*.mp3, *.wav, *.wma)|*.mp3;*.wav;*.wma");
        drive.result = dialogs.openFile(nullptr, request);
    }
    return drive;
}

void Touch(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write("ID3", 3), qint64(3));
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void typedNamesOpenTheFileTheyName();
    void typedFolderWithQuotesOpensIt();
    void quotedNameListsStillWork();
    void savedNamesKeepTheirQuotes();
};

// A whole path typed into the box opens that file, whatever marks its folder and name hold.
void TestDialogs::typedNamesOpenTheFileTheyName() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("Act 'one' \"storm\""));
    QVERIFY(QDir().mkpath(folder));
    const QStringList names = {
        QStringLiteral("Ben's \"big\" wind $HOME; take.2.mp3"),
        QStringLiteral("\"quoted\".mp3"),
        QStringLiteral("plain name.wav"),
        QStringLiteral("a \"b\" \"c\".mp3"),
    };
    for (const QString& name : names) {
        const QString path = folder + QLatin1Char('/') + name;
        Touch(path);
        const Drive drive = TypeIntoDialog({path});
        QVERIFY2(drive.messages.isEmpty(), qPrintable(drive.messages.join(QLatin1Char('|'))));
        QVERIFY2(!drive.leftOpen, qPrintable(name));
        QVERIFY(drive.result.accepted);
        QCOMPARE(drive.result.fileName, path);
    }
    // A typed name that names nothing is still refused, and the dialog stays open.
    const Drive missing = TypeIntoDialog({folder + QStringLiteral("/Ben's \"big\".mp3")});
    QVERIFY(missing.leftOpen);
    QVERIFY(!missing.result.accepted);
    QCOMPARE(missing.messages.size(), 1);
}

// A folder whose name holds quotes, typed and entered, becomes the dialog's folder; a bare
// name typed then opens the file in it.
void TestDialogs::typedFolderWithQuotesOpensIt() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("My \"show\" files"));
    QVERIFY(QDir().mkpath(folder));
    const QString name = QStringLiteral("The \"end\".wav");
    Touch(folder + QLatin1Char('/') + name);
    const Drive drive = TypeIntoDialog({folder, name});
    QVERIFY(drive.messages.isEmpty());
    QCOMPARE(drive.directories.size(), 2);
    QCOMPARE(drive.directories[1], folder);
    QVERIFY(drive.result.accepted);
    QCOMPARE(drive.result.fileName, folder + QLatin1Char('/') + name);
}

// The dialog's own form for a name in quotes ("name") goes on naming the file between them
// when no file is named with the quotes.
void TestDialogs::quotedNameListsStillWork() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("plain"));
    QVERIFY(QDir().mkpath(folder));
    Touch(folder + QStringLiteral("/song.mp3"));
    const Drive drive = TypeIntoDialog({folder, QStringLiteral("\"song.mp3\"")});
    QVERIFY(drive.messages.isEmpty());
    QVERIFY(drive.result.accepted);
    QCOMPARE(drive.result.fileName, folder + QStringLiteral("/song.mp3"));
}

// A name typed into the save dialog is the file's whole name, quotes included, with the
// default extension added; an existing file is replaced only when the operator agrees; a
// name typed in quotes alone is the name between them.
void TestDialogs::savedNamesKeepTheirQuotes() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("shows"));
    QVERIFY(QDir().mkpath(folder));

    Drive drive = TypeIntoDialog({folder, QStringLiteral("Act \"one\" show")}, true);
    QVERIFY(drive.messages.isEmpty());
    QVERIFY(drive.result.accepted);
    QCOMPARE(drive.result.fileName, folder + QStringLiteral("/Act \"one\" show.cue"));

    drive = TypeIntoDialog({folder, QStringLiteral("Bob's \"cut\".v2.cue")}, true);
    QVERIFY(drive.result.accepted);
    QCOMPARE(drive.result.fileName, folder + QStringLiteral("/Bob's \"cut\".v2.cue"));

    Touch(folder + QStringLiteral("/Old \"take\".cue"));
    drive = TypeIntoDialog({folder, QStringLiteral("Old \"take\"")}, true);
    QCOMPARE(drive.messages.size(), 1); // asked before replacing; answered No
    QVERIFY(drive.messages[0].contains(QStringLiteral("Old \"take\".cue")));
    QVERIFY(drive.leftOpen);
    QVERIFY(!drive.result.accepted);

    drive = TypeIntoDialog({folder, QStringLiteral("\"plain\"")}, true);
    QVERIFY(drive.messages.isEmpty());
    QVERIFY(drive.result.accepted);
    QCOMPARE(drive.result.fileName, folder + QStringLiteral("/plain.cue"));
}

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
