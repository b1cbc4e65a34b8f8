#include "ProcessRunner.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace sorvane {

QProcessRunner::QProcessRunner() = default;

QProcessRunner::~QProcessRunner() {
    // A decoder still running when the program ends is left to finish its file.
    if (process_) {
        process_->disconnect();
        process_->setParent(nullptr);
        if (process_->state() != QProcess::NotRunning) {
            QObject::connect(process_, &QProcess::finished, process_, &QObject::deleteLater);
        } else {
            delete process_;
        }
    }
}

bool QProcessRunner::start(const QString& program, const QStringList& arguments) {
    if (process_) {
        // The process of an earlier start is let go: it runs to its end on its own and is
        // deleted then.
        QProcess* old = process_;
        process_ = nullptr;
        if (old->state() != QProcess::NotRunning) {
            old->setParent(nullptr);
            connect(old, &QProcess::finished, old, &QObject::deleteLater);
        } else {
            delete old;
        }
    }
    terminated_ = false;
    forcedExitCode_ = 0;
    process_ = new QProcess(this);
    process_->setProgram(program);
    process_->setArguments(arguments);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardErrorFile(QProcess::nullDevice());
    process_->start(QIODevice::NotOpen);
    // A program that cannot be executed fails here at once; a started one runs on.
    if (!process_->waitForStarted(5000)) {
        process_->kill();
        process_->waitForFinished(1000);
        delete process_;
        process_ = nullptr;
        return false;
    }
    return true;
}

bool QProcessRunner::waitSlice(int ms) {
    if (!running()) return true;
    QEventLoop loop;
    QTimer slice;
    slice.setSingleShot(true);
    connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(process_, &QProcess::finished, &loop, &QEventLoop::quit);
    // A start made inside the slice replaces the process waited for: end the slice then.
    connect(process_, &QObject::destroyed, &loop, &QEventLoop::quit);
    slice.start(ms);
    loop.exec();
    return !running();
}

void QProcessRunner::terminate(int exitCode) {
    if (!running()) return;
    terminated_ = true;
    forcedExitCode_ = exitCode;
    process_->kill();
}

bool QProcessRunner::running() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

bool QProcessRunner::succeeded() const {
    return process_ && !terminated_ && process_->state() == QProcess::NotRunning &&
           process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
}

int QProcessRunner::exitCode() const {
    if (terminated_) return forcedExitCode_;
    return process_ ? process_->exitCode() : 0;
}

bool ScriptedProcessRunner::start(const QString& program_, const QStringList& arguments_) {
    program = program_;
    arguments = arguments_;
    ++starts;
    ended_ = false;
    terminated_ = false;
    exitCode_ = 0;
    slicesThisRun_ = 0;
    running_ = !startFails;
    return !startFails;
}

bool ScriptedProcessRunner::waitSlice(int) {
    if (!running_) return true;
    ++slices;
    ++slicesThisRun_;
    if (onSlice) onSlice(slicesThisRun_);
    if (running_ && slicesThisRun_ >= slicesToEnd) {
        running_ = false;
        ended_ = true;
        exitCode_ = endExitCode;
        if (onEnd) onEnd();
    }
    return !running_;
}

void ScriptedProcessRunner::terminate(int exitCode) {
    if (!running_) return;
    running_ = false;
    ended_ = true;
    terminated_ = true;
    terminatedWith = exitCode;
    exitCode_ = exitCode;
}

} // namespace sorvane
