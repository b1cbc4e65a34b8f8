// The child-process runner: real programs started without a shell, their ends and exit
// codes, termination, a program that does not exist, and waits that let events run.

#include "platform/process/ProcessRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace sorvane;

class ProcessTest : public QObject {
    Q_OBJECT

    static bool WaitEnd(ProcessRunner& r) {
        for (int i = 0; i < 200; ++i)
            if (r.waitSlice(700)) return true;
        return false;
    }

private slots:
    void argumentsReachTheProgramUntouched() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString from = dir.filePath(QStringLiteral("a b \"c\" $HOME; touch pwned 'q' ü.wav"));
        QFile f(from);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("data");
        f.close();
        const QString to = dir.filePath(QStringLiteral("$(touch pwned2) `x` & | > ж.wav"));
        QProcessRunner r;
        QVERIFY(r.start(QStringLiteral("cp"), {from, to}));
        QVERIFY(WaitEnd(r));
        QVERIFY(r.succeeded());
        QCOMPARE(r.exitCode(), 0);
        QVERIFY(QFile::exists(to));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // nothing else was made
    }

    void failureStatusAndTermination() {
        QProcessRunner r;
        QVERIFY(r.start(QStringLiteral("false"), {}));
        QVERIFY(WaitEnd(r));
        QVERIFY(!r.succeeded());
        QVERIFY(r.start(QStringLiteral("sleep"), {QStringLiteral("30")}));
        QVERIFY(r.running());
        QVERIFY(!r.waitSlice(50));
        r.terminate(1);
        QVERIFY(WaitEnd(r));
        QCOMPARE(r.exitCode(), 1);
        QVERIFY(!r.succeeded());
    }

    void missingProgramIsNotWaitedFor() {
        QProcessRunner r;
        QVERIFY(!r.start(QStringLiteral("/nonexistent/lame"), {QStringLiteral("--decode")}));
        QVERIFY(!r.running());
        QVERIFY(r.waitSlice(700)); // returns at once: nothing runs
        QVERIFY(!r.succeeded());
    }

    void sliceLetsTimersRun() {
        QProcessRunner r;
        QVERIFY(r.start(QStringLiteral("sleep"), {QStringLiteral("30")}));
        int ticks = 0;
        QTimer t;
        connect(&t, &QTimer::timeout, [&] { ++ticks; });
        t.start(10);
        QVERIFY(!r.waitSlice(200));
        QVERIFY(ticks > 2);
        // A terminate from inside the slice ends the slice.
        QTimer::singleShot(20, [&] { r.terminate(1); });
        QElapsedTimer clock;
        clock.start();
        bool ended = false;
        while (!ended && clock.elapsed() < 20000)
            ended = r.waitSlice(700);
        QVERIFY(ended);
        // A new start lets the earlier process go on by itself; it is let go once it ends.
        QVERIFY(r.start(QStringLiteral("sleep"), {QStringLiteral("0.3")}));
        QVERIFY(r.start(QStringLiteral("true"), {}));
        QVERIFY(WaitEnd(r));
        QVERIFY(r.succeeded());
        QTest::qWait(1500);
    }

    void scriptedProgramEndsAfterItsSlices() {
        ScriptedProcessRunner r;
        r.slicesToEnd = 3;
        int ended = 0;
        r.onEnd = [&] { ++ended; };
        QVERIFY(r.start(QStringLiteral("p"), {QStringLiteral("a")}));
        QVERIFY(!r.waitSlice(700));
        QVERIFY(!r.waitSlice(700));
        QVERIFY(r.waitSlice(700));
        QCOMPARE(ended, 1);
        QVERIFY(r.succeeded());
        QVERIFY(r.waitSlice(700)); // ended: no further slice counted
        QCOMPARE(r.slices, 3);
        r.start(QStringLiteral("p"), {});
        r.terminate(1);
        QVERIFY(!r.running());
        QCOMPARE(r.terminatedWith, 1);
        QCOMPARE(ended, 1);
        QVERIFY(!r.succeeded());
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "test_process.moc"
