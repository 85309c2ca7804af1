#pragma once

#include "processors/Processor.h"
#include "processors/units/LevelRamp.h"

// The song's master output: the last gain stage before the device chain. The gain
// follows the Volume lane linearly, a full 0 to 1 swing taking 5 ms.
class OutputProcessor final : public Processor {
public:
    explicit OutputProcessor(int sampleRate);

    void process(AudioContext& context) override; // in place, allocation-free
    int setActive(int flag) override;
    SchemaPointer schema() const override;
    void saveState(QDataStream& stream) override;
    void loadState(QDataStream& stream) override;
    void reset() override;
    void setSampleRate(int hz) override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

    int sampleRate() const { return m_sampleRate; }
    double volume() const { return m_volume; }
    // The volume the song holds, which saveState writes. The Volume lane moves only the
    // playing volume, so listening never changes the song.
    double songVolume() const { return m_songVolume; }
    double gain() const { return m_gain.level; }
    // The most recent output sample; the mixer's level meter shows it.
    double lastSample() const { return m_lastSample; }

private:
    int m_sampleRate;
    double m_volume = 1.0;
    double m_songVolume = 1.0;
    LevelRamp m_gain; // level is the current gain
    double m_lastSample = 0.0;
};
