#pragma once

#include <QDebug>
#include <QString>

// What a processor type is: its registered name and the six flags that decide its
// ports, whether users may add it, and whether new songs contain it.
struct ProcessorCharacter {
    ProcessorCharacter() = default;
    ProcessorCharacter(const QString& typeID, bool takesAudioInput, bool givesAudioOutput,
        bool userCreatable, bool userVisible, bool intrinsicToSong, bool intrinsicTrack)
        : typeID(typeID)
        , takesAudioInput(takesAudioInput)
        , givesAudioOutput(givesAudioOutput)
        , userCreatable(userCreatable)
        , userVisible(userVisible)
        , intrinsicToSong(intrinsicToSong)
        , intrinsicTrack(intrinsicTrack)
    {
    }

    QString typeID;
    bool takesAudioInput = false;
    bool givesAudioOutput = false;
    bool userCreatable = false;
    bool userVisible = false;
    bool intrinsicToSong = false;
    bool intrinsicTrack = false;
};

QDebug operator<<(QDebug debug, const ProcessorCharacter& character);
