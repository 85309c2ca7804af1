#pragma once

#include "processors/Processor.h"
#include "processors/tb303/Tb303.h"

// The monophonic bass line: notes, accent, slide and filter settings from its lanes.
// kReference selects the voice with plain std:: transcendentals, which the tests measure
// the fast one against.
template <bool kReference> class BasicTB303Processor final : public Processor {
public:
    enum Lane { Note, Volume, Accent, Slide, Waveform, Cutoff, Resonance, EnvMod };

    explicit BasicTB303Processor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

    const Tb303<double, kReference>& voice() const { return m_voice; }

private:
    Tb303<double, kReference> m_voice;
    quint32 m_pendingNote = 255;
    // Taken by the next process(); a new row drops note events no block has taken yet.
    quint8 m_noteOnPending = 0;
    quint8 m_noteOffPending = 0;
    quint8 m_accentPending = 0;
    quint8 m_slidePending = 0;
};

using TB303Processor = BasicTB303Processor<false>;
