#pragma once

// Small file helpers shared by the show-file tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
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

// A short 16-bit mono PCM WAV whose samples repeat `tag`, so that files of different tags
// differ in content; the player takes it.
inline QByteArray Wav(const QByteArray& tag, int frames = 4410) {
    QByteArray data;
    data.reserve(frames * 2);
    for (int i = 0; data.size() < frames * 2; ++i)
        data.append(tag.isEmpty() ? '\0' : tag.at(i % tag.size()));
    auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        b[0] = static_cast<char>(v & 0xFF);
        b[1] = static_cast<char>(v >> 8);
        return b;
    };
    QByteArray w = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) +
                   le32(44100) + le32(88200) + le16(2) + le16(16) + "data" + le32(data.size());
    return w + data;
}
