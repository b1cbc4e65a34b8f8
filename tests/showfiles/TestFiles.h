#pragma once

// Small file helpers shared by the show-file tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QtTest>
#include <sys/resource.h>
#include "../support/WavHeader.h"

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

// A short 16-bit mono PCM WAV whose samples repeat `tag`, so that files of different tags
// differ in content; the player takes it.
inline QByteArray Wav(const QByteArray& tag, int frames = 4410) {
    QByteArray data;
    data.reserve(frames * 2);
    for (int i = 0; data.size() < frames * 2; ++i)
        data.append(tag.isEmpty() ? '\0' : tag.at(i % tag.size()));
    return sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 1, 44100, 16,
                                      static_cast<std::uint32_t>(data.size())) +
           data;
}

// Limits the size of any file this process writes, as a full disk would.
struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim = old;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};
