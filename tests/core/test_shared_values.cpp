// Numbers in two locales, the ranges of stored values, the version table, and the file test.

#include "core/Module1.h"
#include "core/StoredValue.h"

#include <QtTest>

using namespace sorvane;
using namespace Qt::StringLiterals;
using Int16 = std::optional<std::int16_t>;

class SharedValuesTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void numbersFollowTheLocale() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(DecimalText(1234567), u"1234567"_s); // no group separator
        QCOMPARE(DecimalText(0.1 + 0.2), u"0.3"_s);   // 15 significant digits
        QCOMPARE(DecimalText(-0.0), u"0"_s);
        QCOMPARE(ReadNumber(u" 7 "_s), std::optional<double>(7));
        for (const char* bad : {"", "abc", "1.5x", "inf", "1,5"})
            QVERIFY2(!ReadNumber(QString::fromLatin1(bad)), bad);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(DecimalText(12.25), u"12,25"_s);
        QCOMPARE(StoredValue::text(u"2,5"_s).toNumber(), std::optional<double>(2.5));
        QVERIFY(!ReadNumber(u"1.5"_s));
    }

    void storedValuesRoundDownWithinTheirRange() {
        QCOMPARE(StoredValue::number(-0.5).toInt16(), Int16(-1));
        QCOMPARE(StoredValue::text(u"2.7"_s).toInt16(), Int16(2));
        QCOMPARE(StoredValue::int32(-32768).toInt16(), Int16(-32768));
        QVERIFY(!StoredValue::int32(32768).toInt16());
        QVERIFY(!StoredValue::number(-32768.5).toInt16()); // rounds down to -32769
        QVERIFY(!StoredValue::text(u"abc"_s).toInt16());
        QCOMPARE(StoredValue::text(u"40000"_s).toInt32(), std::optional(40000));
        QVERIFY(StoredValue::text(u"0"_s).equalsNumber(0));
        QVERIFY(!StoredValue::text(u"x"_s).equalsNumber(0));
    }

    void versionTable() {
        // Only "Windows XP" picks the newer layout; this platform has no version to tell.
        const std::pair<VersionRecord, const char*> versions[] = {
            {{1, 4, 10, 1998}, "Windows 98"}, {{2, 5, 0, 2195}, "Windows 2000"},
            {{2, 5, 1, 2600}, "Windows XP"},  {{2, 5, 2, 3790}, "Windows XP"},
            {{2, 10, 0, 19045}, ""},          {{7, 1, 0, 0}, "Unable To get Windows Version"}};
        for (const auto& [record, name] : versions)
            QCOMPARE(WindowsVersionName(record), QString::fromLatin1(name));
        QCOMPARE(GetWindowsVersion(), u"Unable To get Windows Version"_s);
    }

    // Only a readable regular file exists.
    void fileExists() {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"show.cue"_s);
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        QVERIFY(FileExists(file));
        for (const QString& no : {dir.path(), QString(), dir.filePath(u"x"_s), u"/dev/null"_s})
            QVERIFY2(!FileExists(no), qPrintable(no));
        QFile::setPermissions(file, QFileDevice::WriteOwner);
        if (QFile(file).open(QIODevice::ReadOnly)) QSKIP("running with rights that ignore modes");
        QVERIFY(!FileExists(file));
    }
};

QTEST_GUILESS_MAIN(SharedValuesTest)
#include "test_shared_values.moc"
