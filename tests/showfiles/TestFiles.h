#pragma once

#include "../support/WavHeader.h"

#include <QDir>
#include <QFile>
#include <QtTest>

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
    const QByteArray data = tag.repeated(frames * 2 / tag.size() + 1).left(frames * 2);
    return sorvane::testing::WavHeader(sorvane::testing::kWavPcm, 1, 44100, 16, data.size()) + data;
}
