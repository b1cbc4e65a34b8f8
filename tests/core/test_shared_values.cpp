// Conversions of stored values, path functions, the version table, and the file test.

#include "core/Module1.h"
#include "core/StoredValue.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using namespace sorvane;

class SharedValuesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void decimalTextPointLocale() {
        QCOMPARE(DecimalText(1), QStringLiteral("1"));
        QCOMPARE(DecimalText(12.345), QStringLiteral("12.345"));
        QCOMPARE(DecimalText(-4000), QStringLiteral("-4000"));
        QCOMPARE(DecimalText(1234567), QStringLiteral("1234567")); // no group separator
        QCOMPARE(DecimalText(0.1 + 0.2), QStringLiteral("0.3"));   // 15 significant digits
        QCOMPARE(DecimalText(1.0 / 3.0), QStringLiteral("0.333333333333333"));
        QCOMPARE(DecimalText(-0.0), QStringLiteral("0"));
    }

    void decimalTextCommaLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(DecimalText(1.5), QStringLiteral("1,5"));
        QCOMPARE(DecimalText(12.25), QStringLiteral("12,25"));
        QCOMPARE(DecimalText(1234567), QStringLiteral("1234567"));
        QCOMPARE(ReadNumber(QStringLiteral("1,5")).value_or(-1), 1.5);
        // A point is not this locale's decimal separator.
        QVERIFY(!ReadNumber(QStringLiteral("1.5")).has_value());
        QCOMPARE(StoredValue::number(0.33).toText(), QStringLiteral("0,33"));
        QCOMPARE(StoredValue::text(QStringLiteral("2,5")).toNumber().value_or(-1), 2.5);
    }

    void readNumber() {
        QCOMPARE(ReadNumber(QStringLiteral("12.50")).value_or(-1), 12.5);
        QCOMPARE(ReadNumber(QStringLiteral(" 7 ")).value_or(-1), 7.0);
        QCOMPARE(ReadNumber(QStringLiteral("-800")).value_or(0), -800.0);
        QVERIFY(!ReadNumber(QString()).has_value());
        QVERIFY(!ReadNumber(QStringLiteral("abc")).has_value());
        QVERIFY(!ReadNumber(QStringLiteral("1.5x")).has_value());
        QVERIFY(!ReadNumber(QStringLiteral("inf")).has_value());
    }

    void roundingRules() {
        QCOMPARE(RoundDown(-0.5), -1.0);
        QCOMPARE(RoundDown(2.7), 2.0);
        QCOMPARE(RoundDown(-3.0), -3.0);
        // Ties go to the even digit.
        QCOMPARE(RoundHalfEven(0.125, 2), 0.12);
        QCOMPARE(RoundHalfEven(0.135, 2), 0.14);
        QCOMPARE(RoundHalfEven(27.775, 1), 27.8);
        QCOMPARE(RoundHalfEven(33.3, 0), 33.0);
        QCOMPARE(RoundHalfEven(2.5, 0), 2.0);
        QCOMPARE(RoundHalfEven(3.5, 0), 4.0);
    }

    void storedValueKindsAndConversions() {
        const StoredValue empty;
        QVERIFY(empty.isEmpty());
        QCOMPARE(empty.toText(), QString());
        QVERIFY(!empty.toNumber().has_value());
        QVERIFY(!empty.toInt16().has_value());

        const StoredValue d = StoredValue::number(-0.5);
        QCOMPARE(d.toInt16().value_or(99), std::int16_t(-1)); // rounded down

        // A text that reads as a number converts; the text "0" counts as 0.
        QVERIFY(StoredValue::text(QStringLiteral("0")).equalsNumber(0));
        QVERIFY(StoredValue::int32(0).equalsNumber(0));
        QVERIFY(!StoredValue::text(QStringLiteral("x")).equalsNumber(0));
        QCOMPARE(StoredValue::text(QStringLiteral("2.7")).toInt16().value_or(0), std::int16_t(2));
        QVERIFY(!StoredValue::text(QStringLiteral("abc")).toInt16().has_value());
    }

    void sixteenBitRange() {
        QCOMPARE(StoredValue::int32(32767).toInt16().value_or(0), std::int16_t(32767));
        QCOMPARE(StoredValue::int32(-32768).toInt16().value_or(0), std::int16_t(-32768));
        QVERIFY(!StoredValue::int32(32768).toInt16().has_value());
        QVERIFY(!StoredValue::text(QStringLiteral("40000")).toInt16().has_value());
        QVERIFY(!StoredValue::number(-32768.5).toInt16().has_value()); // floor is -32769
        QCOMPARE(StoredValue::text(QStringLiteral("40000")).toInt32().value_or(0), 40000);
    }

    void pathFunctions() {
        QCOMPARE(GetFolder(QStringLiteral("/shows/a.cue")), QStringLiteral("/shows/"));
        QCOMPARE(GetFolder(QStringLiteral("a.cue")), QString());
        QCOMPARE(GetFolder(QStringLiteral("/shows/")), QStringLiteral("/shows/"));
        QCOMPARE(GetFileName(QStringLiteral("/media/rain.wav")), QStringLiteral("rain.wav"));
        QCOMPARE(GetFileName(QStringLiteral("rain.wav")), QStringLiteral("rain.wav"));
        QCOMPARE(GetFileName(QStringLiteral("/media/")), QString());
        QCOMPARE(TrimFilename(QStringLiteral("/media/rain.wav")), QStringLiteral("rain.wav"));
        QCOMPARE(TrimFilename(QStringLiteral("/media/")), QString());
        QCOMPARE(GetExtension(QStringLiteral("/x/SONG.MP3")), QStringLiteral("mp3"));
        QCOMPARE(GetExtension(QStringLiteral("README")), QStringLiteral("readme"));
        // The last dot counts even inside a folder name.
        QCOMPARE(GetExtension(QStringLiteral("/my.folder/noext")), QStringLiteral("folder/noext"));
    }

    void versionTable_data() {
        QTest::addColumn<uint>("platform");
        QTest::addColumn<uint>("major");
        QTest::addColumn<uint>("minor");
        QTest::addColumn<uint>("build");
        QTest::addColumn<QString>("name");
        QTest::newRow("95") << 1u << 4u << 0u << 950u << "Windows 95";
        QTest::newRow("95 SP1") << 1u << 4u << 0u << 1111u << "Windows 95 SP1";
        QTest::newRow("98") << 1u << 4u << 10u << 1998u << "Windows 98";
        QTest::newRow("98 SP1") << 1u << 4u << 10u << 2222u << "Windows 98 SP1";
        QTest::newRow("ME") << 1u << 4u << 90u << 3000u << "Windows ME";
        QTest::newRow("NT 3.51") << 2u << 3u << 51u << 1057u << "Windows NT 3.51";
        QTest::newRow("NT 4") << 2u << 4u << 0u << 1381u << "Windows NT 4.0";
        QTest::newRow("2000") << 2u << 5u << 0u << 2195u << "Windows 2000";
        QTest::newRow("XP") << 2u << 5u << 1u << 2600u << "Windows XP";
        QTest::newRow("NT 5.2") << 2u << 5u << 2u << 3790u << "Windows XP";
        QTest::newRow("NT 6") << 2u << 6u << 0u << 6000u << "";
        QTest::newRow("NT 10") << 2u << 10u << 0u << 19045u << "";
        QTest::newRow("CE 1") << 3u << 1u << 0u << 0u << "Windows CE 1.0";
        QTest::newRow("CE 2.0") << 3u << 2u << 0u << 0u << "Windows CE 2.0";
        QTest::newRow("CE 2.1") << 3u << 2u << 1u << 0u << "Windows CE 2.1";
        QTest::newRow("CE 3") << 3u << 3u << 0u << 0u << "Windows CE 3.0";
        QTest::newRow("unknown") << 7u << 1u << 0u << 0u << "Unable To get Windows Version";
    }
    void versionTable() {
        QFETCH(uint, platform);
        QFETCH(uint, major);
        QFETCH(uint, minor);
        QFETCH(uint, build);
        QFETCH(QString, name);
        QCOMPARE(WindowsVersionName(VersionRecord{platform, major, minor, build}), name);
    }

    void versionQueryFailsOnThisPlatform() {
        QCOMPARE(WindowsVersionName(std::nullopt), QStringLiteral("Unable To get Windows Version"));
        QCOMPARE(GetWindowsVersion(), QStringLiteral("Unable To get Windows Version"));
    }

    // Only a readable regular file exists: never a folder, a pipe (whose open would wait for
    // a writer) or a device.
    void fileExists() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString empty = dir.filePath(QStringLiteral("empty.cue"));
        const QString locked = dir.filePath(QStringLiteral("locked.cue"));
        for (const QString& name : {empty, locked}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(FileExists(empty));
        QVERIFY(!FileExists(dir.path()));
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FileExists(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(!FileExists(QStringLiteral("/dev/null")));
        const QString fifo = dir.filePath(QStringLiteral("pipe.cue"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!FileExists(fifo));
        QFile::setPermissions(locked, QFileDevice::WriteOwner);
        if (QFile(locked).open(QIODevice::ReadOnly))
            QSKIP("running with rights that ignore file modes");
        QVERIFY(!FileExists(locked));
    }
};

QTEST_GUILESS_MAIN(SharedValuesTest)
#include "test_shared_values.moc"
