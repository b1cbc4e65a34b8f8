// The child-process runner: a wait in slices lets events run, and a terminate ends it.

#include "platform/process/ProcessRunner.h"

#include <QTimer>
#include <QtTest>

using namespace sorvane;

class ProcessTest : public QObject {
    Q_OBJECT

private slots:
    // Timers run in a slice, terminate ends it; a new start lets the earlier process run on.
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
        QVERIFY(r.waitSlice(5000)); // ends at once
        QCOMPARE(r.exitCode(), 1);
        QVERIFY(!r.succeeded());
        QVERIFY(r.start("sleep", {"0.3"}));
        QVERIFY(r.start("true", {}));
        QVERIFY(r.waitSlice(5000)); // ends at once
        QVERIFY(r.succeeded());
        QTest::qWait(500); // the earlier one ends and is let go
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "test_process.moc"
