// The child-process runner: real programs started without a shell, their ends and exit
// codes, termination, a program that does not exist, and waits that let events run.

#include "platform/process/ProcessRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sorvane;

class ProcessTest : public QObject {
    Q_OBJECT

    static bool WaitEnd(ProcessRunner& r) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000)
            if (r.waitSlice(700)) return true;
        return false;
    }

private slots:
    // No character of a name runs anything: the program gets each argument as it is.
    void argumentsReachTheProgramUntouched() {
        QTemporaryDir dir;
        const QString from = dir.filePath("a b \"c\" $HOME; touch pwned 'q' ü.wav");
        QFile f(from);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("data") == 4);
        f.close();
        const QString to = dir.filePath("$(touch pwned2) `x` & | > ж.wav");
        QProcessRunner r;
        QVERIFY(r.start("cp", {from, to}));
        QVERIFY(WaitEnd(r));
        QVERIFY(r.succeeded());
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(QFile::exists(to));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // nothing else was made
    }

    // A failure status is no success; a missing program is not waited for.
    void failuresAreReported() {
        QProcessRunner r;
        QVERIFY(r.start("false", {}));
        QVERIFY(WaitEnd(r));
        QVERIFY(!r.succeeded());
        QVERIFY(!r.start("/nonexistent/lame", {"--decode"}));
        QVERIFY(!r.running());
        QVERIFY(r.waitSlice(700)); // returns at once: nothing runs
        QVERIFY(!r.succeeded());
    }

    // A slice lets timers run; a terminate from inside a slice ends it with the given code;
    // a new start lets the earlier process go on by itself and reports its own end.
    void slicesLetTimersRunAndTerminateEndsThem() {
        QProcessRunner r;
        QVERIFY(r.start("sleep", {"30"}));
        int ticks = 0;
        QTimer t;
        connect(&t, &QTimer::timeout, [&] { ++ticks; });
        t.start(10);
        QVERIFY(!r.waitSlice(200));
        QVERIFY(ticks > 2);
        QTimer::singleShot(20, [&] { r.terminate(1); });
        QVERIFY(WaitEnd(r));
        QCOMPARE(r.exitCode(), 1);
        QVERIFY(!r.succeeded());
        QVERIFY(r.start("sleep", {"0.3"}));
        QVERIFY(r.start("true", {}));
        QVERIFY(WaitEnd(r));
        QVERIFY(r.succeeded());
        QTest::qWait(500); // the earlier one ends and is let go
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "test_process.moc"
