// The registry store, the file type registration on it, and the desktop files made from it.
// The XDG folders point at a temporary folder for the whole program.

#include "platform/registry/Registry.h"
#include "showfiles/DesktopRegistration.h"
#include "showfiles/FileAssoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "TestFiles.h"

using namespace sorvane;
using namespace sorvane::registry;

namespace {

QString Cr() {
    return ClassesRootText();
}

} // namespace

class FileAssocTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString data, config, app;

    QString store() const { return config + QStringLiteral("/sorvane/registry.json"); }

    // An application folder with the program and its icon.
    void makeAppFolder(const QString& folder, bool withPng) {
        QDir().mkpath(folder);
        WriteFile(folder + QStringLiteral("/sorvane"), "#!/bin/sh\n");
        QFile::setPermissions(folder + QStringLiteral("/sorvane"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QImage icon(64, 64, QImage::Format_ARGB32);
        icon.fill(QColor(20, 60, 200));
        QVERIFY(icon.save(folder + QStringLiteral("/sorvane.ico"), "ICO"));
        if (withPng) QVERIFY(icon.save(folder + QStringLiteral("/sorvane.png"), "PNG"));
    }

    void registerAtStart(const QString& folder) {
        UnregisterFileType(QStringLiteral("cue"));
        RegisterFileType(QStringLiteral("cue"), folder, QStringLiteral("sorvane"),
                         QStringLiteral("Sorvane Show"), folder + QStringLiteral("/sorvane.ico"));
    }

    void clearAll() {
        QDir(data).removeRecursively();
        QDir(config).removeRecursively();
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        data = home.filePath(QStringLiteral("data"));
        config = home.filePath(QStringLiteral("config"));
        app = home.filePath(QStringLiteral("My Apps/sorvane"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        QCOMPARE(DefaultRegistryPath(), store());
        makeAppFolder(app, true);
    }
    void init() { clearAll(); }

    void storeKeysAndValues() {
        {
            Registry reg(store());
            HKEY h = 0;
            QCOMPARE(reg.RegOpenKeyEx(HKEY_CLASSES_ROOT, QStringLiteral(".cue"), KEY_READ, &h),
                     ERROR_FILE_NOT_FOUND);
            // Keys along the path are created; the value is the key's default value.
            QCOMPARE(
                reg.RegCreateKey(HKEY_CLASSES_ROOT, QStringLiteral("t\\shell\\open\\command"), &h),
                ERROR_SUCCESS);
            QCOMPARE(reg.RegSetValue(h, QString(), REG_SZ, QStringLiteral("run %1")),
                     ERROR_SUCCESS);
            QCOMPARE(reg.RegCloseKey(h), ERROR_SUCCESS);
            QVERIFY(reg.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("t\\shell")));
            // A key made along the way has no default value of its own.
            QCOMPARE(reg.RegOpenKeyEx(HKEY_CLASSES_ROOT, QStringLiteral("T\\SHELL"), KEY_READ, &h),
                     ERROR_SUCCESS);
            QString v;
            QCOMPARE(reg.RegQueryValueEx(h, QString(), &v, 255), ERROR_FILE_NOT_FOUND);
            reg.RegCloseKey(h);
            QCOMPARE(reg.RegCloseKey(h), ERROR_INVALID_HANDLE);
        }
        // Another store object on the same file sees it; names ignore case.
        Registry again(store());
        HKEY h = 0;
        QCOMPARE(again.RegOpenKeyEx(HKEY_CLASSES_ROOT, QStringLiteral("T\\Shell\\Open\\Command"),
                                    KEY_READ, &h),
                 ERROR_SUCCESS);
        QString v;
        QCOMPARE(again.RegQueryValueEx(h, QString(), &v, 255), ERROR_SUCCESS);
        QCOMPARE(v, QStringLiteral("run %1"));
        QCOMPARE(again.RegQueryValueEx(h, QString(), &v, 6), ERROR_MORE_DATA);
        QCOMPARE(again.RegQueryValueEx(h, QStringLiteral("other"), &v, 255), ERROR_FILE_NOT_FOUND);
        again.RegCloseKey(h);
        // A key with sub-keys is not deleted; a leaf is.
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, QStringLiteral("t")), ERROR_ACCESS_DENIED);
        QVERIFY(again.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("t")));
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, QStringLiteral("t\\shell\\open\\command")),
                 ERROR_SUCCESS);
        QVERIFY(!again.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("t\\shell\\open\\command")));
        QVERIFY(again.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("t\\shell\\open")));
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, QStringLiteral("nothing")),
                 ERROR_FILE_NOT_FOUND);
        QCOMPARE(again.RegOpenKeyEx(0x1234, QString(), KEY_READ, &h), ERROR_INVALID_HANDLE);
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT,
                                             QStringLiteral("t\\shell\\open\\command")));
    }

    void storeThatCannotBeWritten() {
        // The store's folder is a file: nothing can be written, and nothing is pretended.
        WriteFile(config + QStringLiteral("/blocked"), "x");
        Registry reg(config + QStringLiteral("/blocked/registry.json"));
        QCOMPARE(
            reg.RegSetValue(HKEY_CLASSES_ROOT, QStringLiteral("a"), REG_SZ, QStringLiteral("b")),
            ERROR_ACCESS_DENIED);
        QVERIFY(!reg.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("a")));
        // A damaged store file reads as an empty registry and is replaced on the next write.
        WriteFile(store(), "{ not json");
        QCOMPARE(RegGetString(Cr(), QStringLiteral(".cue"), QString(), QStringLiteral("none")),
                 QStringLiteral("none"));
        QCOMPARE(RegSetString(Cr(), QStringLiteral(".cue"), QString(), QStringLiteral("x")),
                 ERROR_SUCCESS);
        QCOMPARE(RegGetString(Cr(), QStringLiteral(".cue"), QString(), QString()),
                 QStringLiteral("x"));
    }

    void registryRoutines() {
        QCOMPARE(RegGetString(Cr(), QStringLiteral("k"), QString(), QStringLiteral("dflt")),
                 QStringLiteral("dflt"));
        QCOMPARE(
            RegSetString(Cr(), QStringLiteral("k\\sub"), QString(), QStringLiteral("  padded ")),
            ERROR_SUCCESS);
        // Blanks before the text go; blanks after it stay.
        QCOMPARE(RegGetString(Cr(), QStringLiteral("k\\sub"), QString(), QStringLiteral("d")),
                 QStringLiteral("padded "));
        // A key without a default value gives the default; an empty value gives "".
        QCOMPARE(RegGetString(Cr(), QStringLiteral("k"), QString(), QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(RegSetString(Cr(), QStringLiteral("e"), QString(), QString()), ERROR_SUCCESS);
        QCOMPARE(RegGetString(Cr(), QStringLiteral("e"), QString(), QStringLiteral("d")),
                 QString());
        // A value longer than the 255-character buffer is not read.
        RegSetString(Cr(), QStringLiteral("long"), QString(), QString(300, QLatin1Char('x')));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("long"), QString(), QStringLiteral("d")),
                 QStringLiteral("d"));
        QCOMPARE(DeleteRegKey(Cr(), QStringLiteral("k")), ERROR_ACCESS_DENIED);
        QCOMPARE(DeleteRegKey(Cr(), QStringLiteral("k\\sub")), ERROR_SUCCESS);
        QCOMPARE(DeleteRegKey(Cr(), QStringLiteral("k")), ERROR_SUCCESS);
        QCOMPARE(DeleteRegKey(Cr(), QStringLiteral("k")), ERROR_FILE_NOT_FOUND);
    }

    void registrationWritesTheFourValues() {
        registerAtStart(app);
        QCOMPARE(RegGetString(Cr(), QStringLiteral(".cue"), QString(), QString()),
                 QStringLiteral("sorvane"));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("sorvane"), QString(), QString()),
                 QStringLiteral("Sorvane Show"));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("sorvane\\DefaultIcon"), QString(), QString()),
                 app + QStringLiteral("/sorvane.ico,0"));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("sorvane\\shell\\open\\command"), QString(),
                              QString()),
                 QLatin1Char('"') + app + QStringLiteral("/sorvane\" %1"));
        // A folder given with its separator gets no second one; no icon path, no icon key.
        clearAll();
        RegisterFileType(QStringLiteral("cue"), app + QLatin1Char('/'), QStringLiteral("sorvane"),
                         QStringLiteral("Sorvane Show"), QString());
        QCOMPARE(RegGetString(Cr(), QStringLiteral("sorvane\\shell\\open\\command"), QString(),
                              QString()),
                 QLatin1Char('"') + app + QStringLiteral("/sorvane\" %1"));
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT,
                                             QStringLiteral("sorvane\\DefaultIcon")));
    }

    void registrationTwiceInARow() {
        registerAtStart(app);
        const QByteArray storeBytes = ReadFile(store());
        const QString entry = data + QStringLiteral("/applications/sorvane.desktop");
        const QByteArray entryBytes = ReadFile(entry);
        const QByteArray listBytes = ReadFile(config + QStringLiteral("/mimeapps.list"));
        const QDateTime entryTime = QFileInfo(entry).lastModified();
        QVERIFY(!entryBytes.isEmpty());
        QTest::qWait(20);
        // The second start deletes its own keys (".cue" points to them) and writes them again.
        registerAtStart(app);
        QCOMPARE(ReadFile(store()), storeBytes);
        QCOMPARE(ReadFile(entry), entryBytes);
        QCOMPARE(QFileInfo(entry).lastModified(), entryTime); // unchanged files are not rewritten
        QCOMPARE(ReadFile(config + QStringLiteral("/mimeapps.list")), listBytes);
        QCOMPARE(QString::fromUtf8(listBytes).count(QStringLiteral("sorvane.desktop")), 2);
    }

    void extensionOwnedByAnotherType() {
        // "mediacue" with sub-keys survives as a key but loses ".cue"; a bare type goes.
        RegSetString(Cr(), QStringLiteral(".cue"), QString(), QStringLiteral("mediacue"));
        RegSetString(Cr(), QStringLiteral("mediacue"), QString(),
                     QStringLiteral("Media Cue Sheet"));
        RegSetString(Cr(), QStringLiteral("mediacue\\shell\\open\\command"), QString(),
                     QStringLiteral("player %1"));
        registerAtStart(app);
        Registry reg(store());
        QCOMPARE(RegGetString(Cr(), QStringLiteral(".cue"), QString(), QString()),
                 QStringLiteral("sorvane"));
        QVERIFY(reg.keyExists(HKEY_CLASSES_ROOT, QStringLiteral("mediacue\\shell\\open\\command")));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("sorvane\\shell\\open\\command"), QString(),
                              QString()),
                 QLatin1Char('"') + app + QStringLiteral("/sorvane\" %1"));

        clearAll();
        RegSetString(Cr(), QStringLiteral(".cue"), QString(), QStringLiteral("cuesheet"));
        RegSetString(Cr(), QStringLiteral("cuesheet"), QString(), QStringLiteral("Cue Sheet"));
        UnregisterFileType(QStringLiteral("cue"));
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, QStringLiteral(".cue")));
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, QStringLiteral("cuesheet")));
        // With nothing registered, nothing is deleted.
        RegSetString(Cr(), QStringLiteral("keep"), QString(), QStringLiteral("me"));
        UnregisterFileType(QStringLiteral("cue"));
        QCOMPARE(RegGetString(Cr(), QStringLiteral("keep"), QString(), QString()),
                 QStringLiteral("me"));
    }

    void desktopFilesFromTheStore() {
        // Files of others in the same folders stay as they are.
        const QString otherEntry = data + QStringLiteral("/applications/player.desktop");
        WriteFile(otherEntry, "[Desktop Entry]\nName=Player\n");
        WriteFile(config + QStringLiteral("/mimeapps.list"),
                  "[Default Applications]\ntext/plain=editor.desktop\n\n[Added Associations]\n"
                  "application/x-sorvane-show=player.desktop;\n[Other]\nkey=value\n");
        registerAtStart(app);

        const QString mimeXml =
            QString::fromUtf8(ReadFile(data + QStringLiteral("/mime/packages/sorvane.xml")));
        QVERIFY(mimeXml.contains(QStringLiteral("type=\"application/x-sorvane-show\"")));
        QVERIFY(mimeXml.contains(QStringLiteral("<comment>Sorvane Show</comment>")));
        QVERIFY(mimeXml.contains(QStringLiteral("pattern=\"*.cue\"")));
        QVERIFY(mimeXml.contains(QStringLiteral("<icon name=\"sorvane\"/>")));

        const QString entry =
            QString::fromUtf8(ReadFile(data + QStringLiteral("/applications/sorvane.desktop")));
        QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(entry.contains(QStringLiteral("\nType=Application\n")));
        QVERIFY(
            entry.contains(QStringLiteral("\nExec=\"") + app + QStringLiteral("/sorvane\" %f\n")));
        QVERIFY(entry.contains(QStringLiteral("\nMimeType=application/x-sorvane-show;\n")));
        QVERIFY(entry.contains(QStringLiteral("\nIcon=sorvane\n")));
        QVERIFY(entry.contains(QStringLiteral("\nComment=Sorvane Show\n")));

        const QImage icon(data + QStringLiteral("/icons/hicolor/64x64/apps/sorvane.png"));
        QCOMPARE(icon.size(), QSize(64, 64));
        QCOMPARE(icon.pixelColor(10, 10), QColor(20, 60, 200));

        QCOMPARE(ReadFile(otherEntry), QByteArray("[Desktop Entry]\nName=Player\n"));
        QCOMPARE(
            QString::fromUtf8(ReadFile(config + QStringLiteral("/mimeapps.list"))),
            QStringLiteral("[Default Applications]\ntext/plain=editor.desktop\n"
                           "application/x-sorvane-show=sorvane.desktop\n\n[Added Associations]\n"
                           "application/x-sorvane-show=sorvane.desktop;player.desktop;\n"
                           "[Other]\nkey=value\n"));

        // The desktop's MIME database now takes a show file for the show type.
        if (!QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty()) {
            QVERIFY(QFileInfo::exists(data + QStringLiteral("/mime/mime.cache")));
            QMimeDatabase db;
            QCOMPARE(db.mimeTypeForFile(home.filePath(QStringLiteral("tonight.cue")),
                                        QMimeDatabase::MatchExtension)
                         .name(),
                     QStringLiteral("application/x-sorvane-show"));
        }
    }

    void iconFromTheIcoAlone() {
        const QString other = home.filePath(QStringLiteral("ico-only"));
        makeAppFolder(other, false);
        registerAtStart(other);
        const QImage icon(data + QStringLiteral("/icons/hicolor/64x64/apps/sorvane.png"));
        QCOMPARE(icon.size(), QSize(64, 64));
        QVERIFY(QString::fromUtf8(ReadFile(data + QStringLiteral("/applications/sorvane.desktop")))
                    .contains(QStringLiteral("Icon=sorvane")));
    }

    void noDesktopFilesWithoutTheProgram() {
        const QString empty = home.filePath(QStringLiteral("no-program"));
        QDir().mkpath(empty);
        registerAtStart(empty);
        // The store holds the registration; the desktop gets no entry naming a missing program.
        QCOMPARE(RegGetString(Cr(), QStringLiteral(".cue"), QString(), QString()),
                 QStringLiteral("sorvane"));
        QVERIFY(!QFileInfo::exists(data + QStringLiteral("/applications/sorvane.desktop")));
        QVERIFY(!QFileInfo::exists(data + QStringLiteral("/mime/packages/sorvane.xml")));
        QVERIFY(!QFileInfo::exists(config + QStringLiteral("/mimeapps.list")));
    }

    void execLineQuoting() {
        QCOMPARE(DesktopExecLine(QStringLiteral("/opt/sorvane/sorvane")),
                 QStringLiteral("\"/opt/sorvane/sorvane\" %f"));
        QCOMPARE(DesktopExecLine(QStringLiteral("/my apps/so$r\"v`e\\n 100%/sorvane")),
                 QStringLiteral("\"/my apps/so\\\\$r\\\\\"v\\\\`e\\\\\\\\n 100%%/sorvane\" %f"));
    }

    void associationListEdits() {
        QCOMPARE(
            QString::fromUtf8(
                SetMimeAppsEntry(QByteArray(), QStringLiteral("a/b"), QStringLiteral("s.desktop"))),
            QStringLiteral(
                "[Default Applications]\na/b=s.desktop\n\n[Added Associations]\na/b=s.desktop;\n"));
        const QByteArray once =
            SetMimeAppsEntry("[Default Applications]\na/b=old.desktop\n", "a/b", "s.desktop");
        QCOMPARE(
            QString::fromUtf8(once),
            QStringLiteral(
                "[Default Applications]\na/b=s.desktop\n\n[Added Associations]\na/b=s.desktop;\n"));
        QCOMPARE(SetMimeAppsEntry(once, QStringLiteral("a/b"), QStringLiteral("s.desktop")), once);
    }
};

QTEST_MAIN(FileAssocTest)
#include "test_file_assoc.moc"
