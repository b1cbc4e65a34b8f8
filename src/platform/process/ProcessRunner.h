#pragma once

// Child processes the program starts, such as the MP3 decoder. A program is started without a
// shell: its path and each argument reach it separately, so no character of a file name
// (blanks, quotes, "$", ";", any letter) can run anything else.
//
// The runner holds the process of its latest start. Waiting is done in slices, so that the
// caller can let the program's events run between them.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QProcess;

namespace sorvane {

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;

    // Starts `program` with `arguments`. False when it could not be started: then nothing
    // runs and a wait returns at once.
    virtual bool start(const QString& program, const QStringList& arguments) = 0;
    // Waits at most `ms` milliseconds for the process of the latest start to end. True once
    // it has ended, or when there is none.
    virtual bool waitSlice(int ms) = 0;
    // Ends the process of the latest start at once; it then reports `exitCode`.
    virtual void terminate(int exitCode) = 0;
    virtual bool running() const = 0;
    // The process of the latest start ended by itself with exit code 0.
    virtual bool succeeded() const = 0;
    virtual int exitCode() const = 0;
};

// Runs real programs. A slice lets the program's events and timers run while it waits, so
// the windows stay usable and animations smooth.
class QProcessRunner final : public QObject, public ProcessRunner {
    Q_OBJECT
public:
    QProcessRunner();
    ~QProcessRunner() override;

    bool start(const QString& program, const QStringList& arguments) override;
    bool waitSlice(int ms) override;
    void terminate(int exitCode) override;
    bool running() const override;
    bool succeeded() const override;
    int exitCode() const override;

private:
    QProcess* process_ = nullptr;
    bool terminated_ = false;
    int forcedExitCode_ = 0;
};

// Stands in for a program in tests, without real time: the process ends by itself after
// `slicesToEnd` slices, or when terminated. Every start and slice is recorded.
class ScriptedProcessRunner final : public ProcessRunner {
public:
    // What the scripted program does.
    bool startFails = false;   // start reports failure, as for a missing program
    int slicesToEnd = 1;       // slices until it ends by itself
    int endExitCode = 0;       // its exit code when it ends by itself
    std::function<void()> onEnd;           // runs when it ends by itself (writes its output)
    std::function<void(int slice)> onSlice; // runs inside each slice, counted from 1

    // What happened.
    QString program;
    QStringList arguments;
    int starts = 0;
    int slices = 0;
    int terminatedWith = -1; // exit code given to terminate, -1 when never terminated

    bool start(const QString& program, const QStringList& arguments) override;
    bool waitSlice(int ms) override;
    void terminate(int exitCode) override;
    bool running() const override { return running_; }
    bool succeeded() const override { return ended_ && !terminated_ && exitCode_ == 0; }
    int exitCode() const override { return exitCode_; }

private:
    bool running_ = false;
    bool ended_ = false;
    bool terminated_ = false;
    int exitCode_ = 0;
    int slicesThisRun_ = 0;
};

} // namespace sorvane
