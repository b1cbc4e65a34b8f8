// The registry store, the file type registration on it, and the desktop files made from it.

#include "TestFiles.h"
#include "platform/registry/Registry.h"
#include "showfiles/DesktopRegistration.h"
#include "showfiles/FileAssoc.h"

#include <QtGui>

using namespace sorvane;
using namespace sorvane::registry;

class FileAssocTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString data = home.filePath("data"), config = home.filePath("config");
    QString app = home.filePath("My Apps/sorvane");

    QString get(const QString& key, const QString& dflt = QString()) {
        return RegGetString(ClassesRootText(), key, QString(), dflt);
    }
    long set(const QString& key, const QString& value) {
        return RegSetString(ClassesRootText(), key, QString(), value);
    }
    void registerAtStart(const QString& folder) {
        UnregisterFileType("cue");
        RegisterFileType("cue", folder, "sorvane", "Sorvane Show", folder + "/sorvane.ico");
    }
    QByteArray file(const QString& rel) { return ReadFile(home.filePath(rel)); }

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        WriteFile(app + "/sorvane", "#!/bin/sh\n");
        QFile::setPermissions(app + "/sorvane", QFile::ReadOwner | QFile::ExeOwner);
        QImage icon(64, 64, QImage::Format_ARGB32);
        icon.fill(QColor(20, 60, 200));
        QVERIFY(icon.save(app + "/sorvane.ico", "ICO"));
    }
    void init() {
        QDir(data).removeRecursively();
        QDir(config).removeRecursively();
    }

    void registryStore() {
        QCOMPARE(set("k\\sub", "  padded "), ERROR_SUCCESS);
        QCOMPARE(get("K\\SUB", "d"), "padded "); // names ignore case
        // A damaged store reads as an empty registry and is replaced on the next write.
        WriteFile(DefaultRegistryPath(), "{ not json");
        QCOMPARE(get("k\\sub", "none"), "none");
        QCOMPARE(set("e", "x"), ERROR_SUCCESS);
        QCOMPARE(get("e"), "x");
        WriteFile(config + "/blocked", "x");
        Registry blocked(config + "/blocked/registry.json");
        QCOMPARE(blocked.RegSetValue(HKEY_CLASSES_ROOT, "a", REG_SZ, "b"), ERROR_ACCESS_DENIED);
        QVERIFY(!blocked.keyExists(HKEY_CLASSES_ROOT, "a"));
    }

    void registration() {
        // Another type that owns ".cue" keeps its keys with sub-keys but loses ".cue".
        set(".cue", "mediacue");
        set("mediacue\\shell\\open\\command", "player %1");
        registerAtStart(app);
        const std::pair<const char*, QString> values[] = {
            {".cue", "sorvane"},
            {"sorvane", "Sorvane Show"},
            {"sorvane\\DefaultIcon", app + "/sorvane.ico,0"},
            {"sorvane\\shell\\open\\command", '"' + app + "/sorvane\" %1"},
            {"mediacue\\shell\\open\\command", "player %1"}};
        for (const auto& [key, value] : values)
            QCOMPARE(get(key), value);
        // The next start writes its keys again: nothing changes, no unchanged file is rewritten;
        // a folder given with its separator gets no second one.
        const QByteArray store = ReadFile(DefaultRegistryPath());
        const QByteArray list = file("config/mimeapps.list");
        const QString entry = data + "/applications/sorvane.desktop";
        const QDateTime entryTime = QFileInfo(entry).lastModified();
        QTest::qWait(20);
        UnregisterFileType("cue");
        RegisterFileType("cue", app + '/', "sorvane", "Sorvane Show", app + "/sorvane.ico");
        QCOMPARE(ReadFile(DefaultRegistryPath()), store);
        QCOMPARE(QFileInfo(entry).lastModified(), entryTime);
        QCOMPARE(file("config/mimeapps.list"), list);
        // A bare type goes with ".cue"; with nothing registered, nothing is deleted.
        init();
        set(".cue", "cuesheet");
        set("cuesheet", "Cue Sheet");
        set("keep", "me");
        UnregisterFileType("cue");
        QVERIFY(get(".cue", "-") == "-" && get("cuesheet", "-") == "-");
        UnregisterFileType("cue");
        QCOMPARE(get("keep"), "me");
    }

    void desktopFilesFromTheStore() {
        // Without the program the registration is stored, but no desktop entry names it.
        registerAtStart(home.filePath("no-program"));
        QCOMPARE(get(".cue"), "sorvane");
        QVERIFY(QDir(data).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
        QVERIFY(!QFileInfo::exists(config + "/mimeapps.list"));
        WriteFile(data + "/applications/player.desktop", "[Desktop Entry]\nName=Player\n");
        const QByteArray list = "[Default Applications]\ntext/plain=editor.desktop\n"
                                "application/x-sorvane-show=old.desktop\n\n[Added Associations]\n"
                                "application/x-sorvane-show=player.desktop;\n[Other]\nkey=value\n";
        WriteFile(config + "/mimeapps.list", list);
        registerAtStart(app);
        const QString mimeXml = file("data/mime/packages/sorvane.xml");
        for (const char* part : {"type=\"application/x-sorvane-show\"", "pattern=\"*.cue\""})
            QVERIFY2(mimeXml.contains(QLatin1String(part)), part);
        const QString entry = file("data/applications/sorvane.desktop");
        QVERIFY(entry.startsWith("[Desktop Entry]\n"));
        for (const QString& line :
             QStringList{"Type=Application", "Exec=\"" + app + "/sorvane\" %f",
                         "MimeType=application/x-sorvane-show;", "Icon=sorvane"})
            QVERIFY2(entry.contains('\n' + line + '\n'), qPrintable(line));
        const QImage icon(data + "/icons/hicolor/64x64/apps/sorvane.png");
        QCOMPARE(icon.size(), QSize(64, 64));
        QCOMPARE(icon.pixelColor(10, 10), QColor(20, 60, 200));
        QCOMPARE(file("data/applications/player.desktop"), "[Desktop Entry]\nName=Player\n");
        QCOMPARE(file("config/mimeapps.list"), QByteArray(list)
                                                   .replace("=old.", "=sorvane.")
                                                   .replace("=player", "=sorvane.desktop;player"));
        if (!QStandardPaths::findExecutable("update-mime-database").isEmpty())
            QCOMPARE(QMimeDatabase().mimeTypeForFile("/x/a.cue").name(),
                     "application/x-sorvane-show");
        QCOMPARE(DesktopExecLine("/my apps/so$r\"v`e\\n 100%/sorvane"),
                 "\"/my apps/so\\\\$r\\\\\"v\\\\`e\\\\\\\\n 100%%/sorvane\" %f");
    }
};

QTEST_MAIN(FileAssocTest)
#include "test_file_assoc.moc"
