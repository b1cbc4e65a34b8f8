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
using namespace Qt::StringLiterals;

namespace {

QString Cr() {
    return ClassesRootText();
}

// The default value of a key of the classes root, or `dflt` where it has none.
QString Get(const QString& key, const QString& dflt = QString()) {
    return RegGetString(Cr(), key, QString(), dflt);
}
int Set(const QString& key, const QString& value) {
    return RegSetString(Cr(), key, QString(), value);
}

} // namespace

class FileAssocTest : public QObject {
    Q_OBJECT
    QTemporaryDir home;
    QString data, config, app;

    QString store() const { return config + u"/sorvane/registry.json"_s; }

    // An application folder with the program and its icon.
    void makeAppFolder(const QString& folder, bool withPng) {
        QDir().mkpath(folder);
        WriteFile(folder + u"/sorvane"_s, "#!/bin/sh\n");
        QFile::setPermissions(folder + u"/sorvane"_s,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QImage icon(64, 64, QImage::Format_ARGB32);
        icon.fill(QColor(20, 60, 200));
        QVERIFY(icon.save(folder + u"/sorvane.ico"_s, "ICO"));
        if (withPng) QVERIFY(icon.save(folder + u"/sorvane.png"_s, "PNG"));
    }

    void registerAtStart(const QString& folder) {
        UnregisterFileType(u"cue"_s);
        RegisterFileType(u"cue"_s, folder, u"sorvane"_s, u"Sorvane Show"_s,
                         folder + u"/sorvane.ico"_s);
    }

    void clearAll() {
        QDir(data).removeRecursively();
        QDir(config).removeRecursively();
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        data = home.filePath(u"data"_s);
        config = home.filePath(u"config"_s);
        app = home.filePath(u"My Apps/sorvane"_s);
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
            QCOMPARE(reg.RegOpenKeyEx(HKEY_CLASSES_ROOT, u".cue"_s, KEY_READ, &h),
                     ERROR_FILE_NOT_FOUND);
            // Keys along the path are created; the value is the key's default value.
            QCOMPARE(reg.RegCreateKey(HKEY_CLASSES_ROOT, u"t\\shell\\open\\command"_s, &h),
                     ERROR_SUCCESS);
            QCOMPARE(reg.RegSetValue(h, QString(), REG_SZ, u"run %1"_s), ERROR_SUCCESS);
            QCOMPARE(reg.RegCloseKey(h), ERROR_SUCCESS);
            QVERIFY(reg.keyExists(HKEY_CLASSES_ROOT, u"t\\shell"_s));
            // A key made along the way has no default value of its own.
            QCOMPARE(reg.RegOpenKeyEx(HKEY_CLASSES_ROOT, u"T\\SHELL"_s, KEY_READ, &h),
                     ERROR_SUCCESS);
            QString v;
            QCOMPARE(reg.RegQueryValueEx(h, QString(), &v, 255), ERROR_FILE_NOT_FOUND);
            reg.RegCloseKey(h);
            QCOMPARE(reg.RegCloseKey(h), ERROR_INVALID_HANDLE);
        }
        // Another store object on the same file sees it; names ignore case.
        Registry again(store());
        HKEY h = 0;
        QCOMPARE(again.RegOpenKeyEx(HKEY_CLASSES_ROOT, u"T\\Shell\\Open\\Command"_s, KEY_READ, &h),
                 ERROR_SUCCESS);
        QString v;
        QCOMPARE(again.RegQueryValueEx(h, QString(), &v, 255), ERROR_SUCCESS);
        QCOMPARE(v, u"run %1"_s);
        QCOMPARE(again.RegQueryValueEx(h, QString(), &v, 6), ERROR_MORE_DATA);
        QCOMPARE(again.RegQueryValueEx(h, u"other"_s, &v, 255), ERROR_FILE_NOT_FOUND);
        again.RegCloseKey(h);
        // A key with sub-keys is not deleted; a leaf is.
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, u"t"_s), ERROR_ACCESS_DENIED);
        QVERIFY(again.keyExists(HKEY_CLASSES_ROOT, u"t"_s));
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, u"t\\shell\\open\\command"_s),
                 ERROR_SUCCESS);
        QVERIFY(!again.keyExists(HKEY_CLASSES_ROOT, u"t\\shell\\open\\command"_s));
        QVERIFY(again.keyExists(HKEY_CLASSES_ROOT, u"t\\shell\\open"_s));
        QCOMPARE(again.RegDeleteKey(HKEY_CLASSES_ROOT, u"nothing"_s), ERROR_FILE_NOT_FOUND);
        QCOMPARE(again.RegOpenKeyEx(0x1234, QString(), KEY_READ, &h), ERROR_INVALID_HANDLE);
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, u"t\\shell\\open\\command"_s));
    }

    void storeThatCannotBeWritten() {
        // The store's folder is a file: nothing can be written, and nothing is pretended.
        WriteFile(config + u"/blocked"_s, "x");
        Registry reg(config + u"/blocked/registry.json"_s);
        QCOMPARE(reg.RegSetValue(HKEY_CLASSES_ROOT, u"a"_s, REG_SZ, u"b"_s), ERROR_ACCESS_DENIED);
        QVERIFY(!reg.keyExists(HKEY_CLASSES_ROOT, u"a"_s));
        // A damaged store file reads as an empty registry and is replaced on the next write.
        WriteFile(store(), "{ not json");
        QCOMPARE(Get(u".cue"_s, u"none"_s), u"none"_s);
        QCOMPARE(Set(u".cue"_s, u"x"_s), ERROR_SUCCESS);
        QCOMPARE(Get(u".cue"_s), u"x"_s);
    }

    void registryRoutines() {
        QCOMPARE(Get(u"k"_s, u"dflt"_s), u"dflt"_s);
        QCOMPARE(Set(u"k\\sub"_s, u"  padded "_s), ERROR_SUCCESS);
        // Blanks before the text go; blanks after it stay.
        QCOMPARE(Get(u"k\\sub"_s, u"d"_s), u"padded "_s);
        // A key without a default value gives the default; an empty value gives "".
        QCOMPARE(Get(u"k"_s, u"d"_s), u"d"_s);
        QCOMPARE(Set(u"e"_s, QString()), ERROR_SUCCESS);
        QCOMPARE(Get(u"e"_s, u"d"_s), QString());
        // A value longer than the 255-character buffer is not read.
        Set(u"long"_s, QString(300, QLatin1Char('x')));
        QCOMPARE(Get(u"long"_s, u"d"_s), u"d"_s);
        QCOMPARE(DeleteRegKey(Cr(), u"k"_s), ERROR_ACCESS_DENIED);
        QCOMPARE(DeleteRegKey(Cr(), u"k\\sub"_s), ERROR_SUCCESS);
        QCOMPARE(DeleteRegKey(Cr(), u"k"_s), ERROR_SUCCESS);
        QCOMPARE(DeleteRegKey(Cr(), u"k"_s), ERROR_FILE_NOT_FOUND);
    }

    void registrationWritesTheFourValues() {
        registerAtStart(app);
        QCOMPARE(Get(u".cue"_s), u"sorvane"_s);
        QCOMPARE(Get(u"sorvane"_s), u"Sorvane Show"_s);
        QCOMPARE(Get(u"sorvane\\DefaultIcon"_s), app + u"/sorvane.ico,0"_s);
        QCOMPARE(Get(u"sorvane\\shell\\open\\command"_s),
                 QLatin1Char('"') + app + u"/sorvane\" %1"_s);
        // A folder given with its separator gets no second one; no icon path, no icon key.
        clearAll();
        RegisterFileType(u"cue"_s, app + QLatin1Char('/'), u"sorvane"_s, u"Sorvane Show"_s,
                         QString());
        QCOMPARE(Get(u"sorvane\\shell\\open\\command"_s),
                 QLatin1Char('"') + app + u"/sorvane\" %1"_s);
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, u"sorvane\\DefaultIcon"_s));
    }

    void registrationTwiceInARow() {
        registerAtStart(app);
        const QByteArray storeBytes = ReadFile(store());
        const QString entry = data + u"/applications/sorvane.desktop"_s;
        const QByteArray entryBytes = ReadFile(entry);
        const QByteArray listBytes = ReadFile(config + u"/mimeapps.list"_s);
        const QDateTime entryTime = QFileInfo(entry).lastModified();
        QVERIFY(!entryBytes.isEmpty());
        QTest::qWait(20);
        // The second start deletes its own keys (".cue" points to them) and writes them again.
        registerAtStart(app);
        QCOMPARE(ReadFile(store()), storeBytes);
        QCOMPARE(ReadFile(entry), entryBytes);
        QCOMPARE(QFileInfo(entry).lastModified(), entryTime); // unchanged files are not rewritten
        QCOMPARE(ReadFile(config + u"/mimeapps.list"_s), listBytes);
        QCOMPARE(QString::fromUtf8(listBytes).count(u"sorvane.desktop"_s), 2);
    }

    void extensionOwnedByAnotherType() {
        // "mediacue" with sub-keys survives as a key but loses ".cue"; a bare type goes.
        Set(u".cue"_s, u"mediacue"_s);
        Set(u"mediacue"_s, u"Media Cue Sheet"_s);
        Set(u"mediacue\\shell\\open\\command"_s, u"player %1"_s);
        registerAtStart(app);
        Registry reg(store());
        QCOMPARE(Get(u".cue"_s), u"sorvane"_s);
        QVERIFY(reg.keyExists(HKEY_CLASSES_ROOT, u"mediacue\\shell\\open\\command"_s));
        QCOMPARE(Get(u"sorvane\\shell\\open\\command"_s),
                 QLatin1Char('"') + app + u"/sorvane\" %1"_s);

        clearAll();
        Set(u".cue"_s, u"cuesheet"_s);
        Set(u"cuesheet"_s, u"Cue Sheet"_s);
        UnregisterFileType(u"cue"_s);
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, u".cue"_s));
        QVERIFY(!Registry(store()).keyExists(HKEY_CLASSES_ROOT, u"cuesheet"_s));
        // With nothing registered, nothing is deleted.
        Set(u"keep"_s, u"me"_s);
        UnregisterFileType(u"cue"_s);
        QCOMPARE(Get(u"keep"_s), u"me"_s);
    }

    void desktopFilesFromTheStore() {
        // Files of others in the same folders stay as they are.
        const QString otherEntry = data + u"/applications/player.desktop"_s;
        WriteFile(otherEntry, "[Desktop Entry]\nName=Player\n");
        WriteFile(config + u"/mimeapps.list"_s,
                  "[Default Applications]\ntext/plain=editor.desktop\n\n[Added Associations]\n"
                  "application/x-sorvane-show=player.desktop;\n[Other]\nkey=value\n");
        registerAtStart(app);

        const QString mimeXml = QString::fromUtf8(ReadFile(data + u"/mime/packages/sorvane.xml"_s));
        for (const char* part :
             {"type=\"application/x-sorvane-show\"", "<comment>Sorvane Show</comment>",
              "pattern=\"*.cue\"", "<icon name=\"sorvane\"/>"})
            QVERIFY2(mimeXml.contains(QLatin1String(part)), part);
        const QString entry =
            QString::fromUtf8(ReadFile(data + u"/applications/sorvane.desktop"_s));
        QVERIFY(entry.startsWith(u"[Desktop Entry]\n"_s));
        for (const QString& line : {u"Type=Application"_s, "Exec=\"" + app + "/sorvane\" %f",
                                    u"MimeType=application/x-sorvane-show;"_s, u"Icon=sorvane"_s,
                                    u"Comment=Sorvane Show"_s})
            QVERIFY2(entry.contains('\n' + line + '\n'), qPrintable(line));

        const QImage icon(data + u"/icons/hicolor/64x64/apps/sorvane.png"_s);
        QCOMPARE(icon.size(), QSize(64, 64));
        QCOMPARE(icon.pixelColor(10, 10), QColor(20, 60, 200));

        QCOMPARE(ReadFile(otherEntry), QByteArray("[Desktop Entry]\nName=Player\n"));
        QCOMPARE(
            QString::fromUtf8(ReadFile(config + u"/mimeapps.list"_s)),
            QStringLiteral("[Default Applications]\ntext/plain=editor.desktop\n"
                           "application/x-sorvane-show=sorvane.desktop\n\n[Added Associations]\n"
                           "application/x-sorvane-show=sorvane.desktop;player.desktop;\n"
                           "[Other]\nkey=value\n"));

        // The desktop's MIME database now takes a show file for the show type.
        if (!QStandardPaths::findExecutable(u"update-mime-database"_s).isEmpty()) {
            QVERIFY(QFileInfo::exists(data + u"/mime/mime.cache"_s));
            QMimeDatabase db;
            QCOMPARE(
                db.mimeTypeForFile(home.filePath(u"tonight.cue"_s), QMimeDatabase::MatchExtension)
                    .name(),
                u"application/x-sorvane-show"_s);
        }
    }

    void iconFromTheIcoAlone() {
        const QString other = home.filePath(u"ico-only"_s);
        makeAppFolder(other, false);
        registerAtStart(other);
        const QImage icon(data + u"/icons/hicolor/64x64/apps/sorvane.png"_s);
        QCOMPARE(icon.size(), QSize(64, 64));
        QVERIFY(QString::fromUtf8(ReadFile(data + u"/applications/sorvane.desktop"_s))
                    .contains(u"Icon=sorvane"_s));
    }

    void noDesktopFilesWithoutTheProgram() {
        const QString empty = home.filePath(u"no-program"_s);
        QDir().mkpath(empty);
        registerAtStart(empty);
        // The store holds the registration; the desktop gets no entry naming a missing program.
        QCOMPARE(Get(u".cue"_s), u"sorvane"_s);
        QVERIFY(!QFileInfo::exists(data + u"/applications/sorvane.desktop"_s));
        QVERIFY(!QFileInfo::exists(data + u"/mime/packages/sorvane.xml"_s));
        QVERIFY(!QFileInfo::exists(config + u"/mimeapps.list"_s));
    }

    void execLineQuoting() {
        QCOMPARE(DesktopExecLine(u"/opt/sorvane/sorvane"_s), u"\"/opt/sorvane/sorvane\" %f"_s);
        QCOMPARE(DesktopExecLine(u"/my apps/so$r\"v`e\\n 100%/sorvane"_s),
                 u"\"/my apps/so\\\\$r\\\\\"v\\\\`e\\\\\\\\n 100%%/sorvane\" %f"_s);
    }

    void associationListEdits() {
        const QByteArray set =
            "[Default Applications]\na/b=s.desktop\n\n[Added Associations]\na/b=s.desktop;\n";
        for (const QByteArray& before :
             {QByteArray(), QByteArray("[Default Applications]\na/b=old.desktop\n"), set})
            QCOMPARE(SetMimeAppsEntry(before, "a/b", "s.desktop"), set);
    }
};

QTEST_MAIN(FileAssocTest)
#include "test_file_assoc.moc"
