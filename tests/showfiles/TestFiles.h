#pragma once

// File helpers shared by the show-file tests.

#include "../support/WavHeader.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <sys/resource.h>

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A short 16-bit mono WAV whose samples repeat `tag`: files of different tags differ.
inline QByteArray Wav(const QByteArray& tag, int frames = 4410) {
    QByteArray data(frames * 2, '\0');
    for (int i = 0; i < data.size() && !tag.isEmpty(); ++i)
        data[i] = tag.at(i % tag.size());
    return sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 1, 44100, 16, data.size()) + data;
}

// Limits the size of any file this process writes, as a full disk would.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};
