#include "core/ProcessorCharacter.h"

QDebug operator<<(QDebug debug, const ProcessorCharacter& c)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << "ProcessorCharacter(typeID: " << c.typeID
                              << ", takesAudioInput: " << c.takesAudioInput
                              << ", givesAudioOutput: " << c.givesAudioOutput
                              << ", userCreatable: " << c.userCreatable
                              << ", userVisible: " << c.userVisible
                              << ", intrinsicToSong: " << c.intrinsicToSong
                              << ", intrinsicTrack: " << c.intrinsicTrack << ")";
    return debug;
}
