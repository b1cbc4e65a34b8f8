#pragma once

// The words of a cue's codes: the items of the panel's selectors and the short words the list
// shows. An action code is 0..8, a start-condition code 0..2, a begin-on code 0..1 and a
// channel code 0..4.

#include <QString>

namespace sorvane {

inline constexpr int kActionCount = 9;
inline constexpr int kWhenCount = 3;
inline constexpr int kBeginOnCount = 2;
inline constexpr int kChannelCount = 5;

inline constexpr int kActionPlay = 0;
inline constexpr int kActionPause = 1;
inline constexpr int kActionStop = 2;
inline constexpr int kActionIteration = 3;
inline constexpr int kActionVolume = 4;
inline constexpr int kActionJump = 5;
inline constexpr int kActionRate = 6;
inline constexpr int kActionBuffer = 7;
inline constexpr int kActionDelay = 8;
inline constexpr int kChannelAny = 4;

// The action selector's items.
inline const QString kActionItems[kActionCount] = {
    QStringLiteral("Play Sound"),    QStringLiteral("Pause Sound"),
    QStringLiteral("Stop Sound"),    QStringLiteral("Wait For End of Iteration"),
    QStringLiteral("Change Volume"), QStringLiteral("Trigger Specific Cue"),
    QStringLiteral("Change Rate"),   QStringLiteral("Buffer Sound"),
    QStringLiteral("Delay (ms)")};

// The action's word in the list (the redraw writes a Delay cue as "Delay (500ms)").
inline const QString kActionWords[kActionCount] = {
    QStringLiteral("Play"),      QStringLiteral("Pause"),  QStringLiteral("Stop"),
    QStringLiteral("Iteration"), QStringLiteral("Vol"),    QStringLiteral("Jump"),
    QStringLiteral("Rate"),      QStringLiteral("Buffer"), QStringLiteral("Delay")};

// The start-condition selector's items.
inline const QString kWhenItems[kWhenCount] = {QStringLiteral("Along With Previous Cue Execution"),
                                               QStringLiteral("After Previous Cue Executes"),
                                               QStringLiteral("After Previous Cue Completes")};
// The start condition's word as the selector writes it, and as the redraw writes it.
inline const QString kWhenWords[kWhenCount] = {
    QStringLiteral("During"), QStringLiteral("Execution"), QStringLiteral("Completion")};
inline const QString kWhenRedrawWords[kWhenCount] = {
    QStringLiteral("During2"), QStringLiteral("Execution2"), QStringLiteral("Completion2")};
// The start condition's word as a show file's loader writes it.
inline const QString kWhenLoadedWords[kWhenCount] = {
    QStringLiteral("During"), QStringLiteral("Execute"), QStringLiteral("Complete")};

// Begin on: the option buttons' captions are also the list's words.
inline const QString kBeginOnWords[kBeginOnCount] = {QStringLiteral("Go"), QStringLiteral("Auto")};

// The channel option buttons' captions.
inline const QString kChannelItems[kChannelCount] = {QStringLiteral("1"), QStringLiteral("2"),
                                                     QStringLiteral("3"), QStringLiteral("4"),
                                                     QStringLiteral("Any Available")};
// The list's word for "Any Available"; a channel 0..3 shows as its number plus one.
inline const QString kChannelAnyWord = QStringLiteral("x");

} // namespace sorvane
