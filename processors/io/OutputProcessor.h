#pragma once

#include "processors/Processor.h"
#include "processors/io/MixerStrip.h"
#include "processors/units/LevelRamp.h"

// The song's master output: the mixer strip's gain and filters, then the last gain stage
// before the device chain. The gain follows the Volume lane linearly, a full 0 to 1 swing
// taking 5 ms. It also keeps what the strip's meter and clip light show.
class OutputProcessor final : public Processor {
public:
    // Peak and mean square of the samples since the meter was last read.
    struct MeterReading {
        double peak = 0.0;
        double meanSquare = 0.0;
        quint64 samples = 0;
    };

    explicit OutputProcessor(int sampleRate);

    void process(AudioContext& context) override; // in place, allocation-free
    int setActive(int flag) override;
    SchemaPointer schema() const override;
    void saveState(QDataStream& stream) override;
    void loadState(QDataStream& stream) override;
    void reset() override;
    void setSampleRate(int hz) override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;
    // The strip's dials, which the version-1 song layout has no room for.
    void saveExtension(QDataStream& stream) override;
    bool loadExtension(QDataStream& stream) override;

    // What the mixer's fader sets: the song's volume, heard at once (through the ramp).
    void setSongVolume(double volume);
    void setDials(const StripDials& dials) { m_strip.setDials(dials); }
    const StripDials& dials() const { return m_strip.dials(); }
    MeterReading takeMeter();
    // True once a sample left beyond full scale, until the mixer's clip light is reset.
    bool clipped() const { return m_clipped; }
    void resetClip() { m_clipped = false; }

    int sampleRate() const { return m_sampleRate; }
    double volume() const { return m_volume; }
    // The volume the song holds, which saveState writes. The Volume lane moves only the
    // playing volume, so listening never changes the song.
    double songVolume() const { return m_songVolume; }
    double gain() const { return m_gain.level; }
    // The most recent output sample; the mixer's level meter shows it.
    double lastSample() const { return m_lastSample; }

private:
    void meter(const double* samples, quint64 frames);

    int m_sampleRate;
    double m_volume = 1.0;
    double m_songVolume = 1.0;
    LevelRamp m_gain; // level is the current gain
    double m_lastSample = 0.0;
    MixerStrip m_strip;
    double m_meterPeak = 0.0;
    double m_meterSquares = 0.0;
    quint64 m_meterSamples = 0;
    bool m_clipped = false;
};
