#pragma once

#include "processors/Processor.h"
#include "processors/tb303/Tb303.h"

// The monophonic bass line: notes, accent, slide and filter settings from its lanes.
class TB303Processor final : public Processor {
public:
    enum Lane { Note, Volume, Accent, Slide, Waveform, Cutoff, Resonance, EnvMod };

    explicit TB303Processor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

    const Tb303<double>& voice() const { return m_voice; }

private:
    Tb303<double> m_voice;
    quint32 m_pendingNote = 255;
    // Taken by the next process(); a new row drops note events no block has taken yet.
    quint8 m_noteOnPending = 0;
    quint8 m_noteOffPending = 0;
    quint8 m_accentPending = 0;
    quint8 m_slidePending = 0;
};
