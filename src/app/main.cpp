#include "Form1.h"
#include "Form2.h"
#include "core/Module1.h"
#include "platform/Dialogs.h"
#include "platform/engine/AudioEngine.h"

#include <QApplication>
#include <QStringList>
#include <memory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QIcon icon(QApplication::applicationDirPath() + QStringLiteral("/sorvane.ico"));
    icon.addFile(QApplication::applicationDirPath() + QStringLiteral("/sorvane.png"));
    QApplication::setWindowIcon(icon);

    // The command line is the text of the arguments, taken as one text; each argument as
    // the file system's own bytes, so that a show's path names the file even when it is not
    // UTF-8.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << sorvane::DecodeFileName(QByteArray(argv[i]));
    const QString commandLine = args.join(QLatin1Char(' '));

    sorvane::QtDialogs dialogs;
    sorvane::AudioEngine engine; // the one sound output, for every player of the program
    std::unique_ptr<sorvane::Form1> form1;
    {
        auto intro = std::make_unique<sorvane::Form2>(engine, commandLine, [&] {
            if (!form1) form1 = std::make_unique<sorvane::Form1>(commandLine, dialogs, &engine);
            form1->Show();
        });
        intro->Form_Load();
    } // the intro window is unloaded here
    return QApplication::exec();
}
