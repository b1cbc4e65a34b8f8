#include "clsMP3.h"

#include "platform/process/ProcessRunner.h"

#include <QCoreApplication>

namespace sorvane {

clsMP3::clsMP3(std::unique_ptr<ProcessRunner> runner) : runner_(std::move(runner)) {
    if (!runner_) runner_ = std::make_unique<QProcessRunner>();
}

clsMP3::~clsMP3() = default;

std::int32_t clsMP3::StartApp(const QString& program, const QStringList& arguments) {
    return runner_->start(program, arguments) ? 0 : 1;
}

void clsMP3::EndApp() {
    runner_->terminate(1);
}

void clsMP3::WaitForAppToEnd() {
    bool ended = false;
    do {
        ended = runner_->waitSlice(kWaitSliceMs);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } while (!ended);
}

bool clsMP3::AppSucceeded() const {
    return runner_->succeeded();
}

void clsMP3::setSrcFilename(const QString& value) {
    if (value.isEmpty())
        throw MP3Error(kInvalidSource, QStringLiteral("Class MP3 - Invalid Source Filename!"));
    srcFilename_ = value;
}

void clsMP3::setDestFilename(const QString& value) {
    if (value.isEmpty())
        throw MP3Error(kInvalidDestination,
                       QStringLiteral("Class MP3 Invalid Destination Filename!."));
    destFilename_ = value;
}

void clsMP3::setMP3Switches(const QString& value) {
    switches_ = value.endsWith(QLatin1Char(' ')) ? value : value + QLatin1Char(' ');
}

} // namespace sorvane
