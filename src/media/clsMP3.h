#pragma once

// The decoder runner the main window owns as `MP3`: it starts the MP3 decoder as a child
// process, waits for it in slices that let the program's events run, and can end it.

#include "platform/process/ProcessRunner.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <stdexcept>

namespace sorvane {

// A value a property of the runner refuses.
class MP3Error : public std::runtime_error {
public:
    MP3Error(std::int32_t number, const QString& description)
        : std::runtime_error(description.toStdString()), Number(number),
          Description(description) {}
    std::int32_t Number;
    QString Description;
};

class clsMP3 {
public:
    // The object error base of the platform's error numbers, and the two refusals.
    static constexpr std::int32_t kObjectError = static_cast<std::int32_t>(0x80040000u);
    static constexpr std::int32_t kInvalidSource = kObjectError + 4000;
    static constexpr std::int32_t kInvalidDestination = kObjectError + 4001;
    // The longest wait for the decoder before the program's events run again.
    static constexpr int kWaitSliceMs = 700;

    // Without a runner the real one is used.
    explicit clsMP3(std::unique_ptr<ProcessRunner> runner = nullptr);
    ~clsMP3();
    clsMP3(const clsMP3&) = delete;
    clsMP3& operator=(const clsMP3&) = delete;

    // Starts `program` with `arguments` (no shell) and does not wait. 0 when it started,
    // 1 when it could not be started (then nothing runs and the wait returns at once).
    std::int32_t StartApp(const QString& program, const QStringList& arguments);
    // Ends the process of the latest start with exit code 1.
    void EndApp();
    // Waits for the process of the latest start in slices of at most 700 ms; after each
    // slice the program's pending events and timers run.
    void WaitForAppToEnd();
    // The process of the latest start ended by itself with exit code 0.
    bool AppSucceeded() const;

    QString SrcFilename() const { return srcFilename_; }
    void setSrcFilename(const QString& value);   // "" is refused (kInvalidSource)
    QString DestFilename() const { return destFilename_; }
    void setDestFilename(const QString& value);  // "" is refused (kInvalidDestination)
    std::int32_t EncodeDecode() const { return encodeDecode_; }
    void setEncodeDecode(std::int32_t value) { encodeDecode_ = value; }
    QString MP3Switches() const { return switches_; }
    void setMP3Switches(const QString& value); // kept with one blank at its end

    ProcessRunner& runner() { return *runner_; }

private:
    std::unique_ptr<ProcessRunner> runner_;
    QString srcFilename_;
    QString destFilename_;
    std::int32_t encodeDecode_ = 0;
    QString switches_;
};

} // namespace sorvane
