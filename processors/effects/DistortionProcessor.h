#pragma once

#include "processors/Processor.h"

// A tanh waveshaper mixed with the clean signal.
class DistortionProcessor final : public Processor {
public:
    enum Lane { Drive, Mix };

    explicit DistortionProcessor(int sampleRate);

    void process(AudioContext& context) override;
    SchemaPointer schema() const override;
    void applyRow(const quint32* values, int count, quint32 rowSerial) override;

private:
    void setDrive(double drive);

    double m_drive = 1.0;
    double m_makeUp = 1.0; // 1 / sqrt(drive), so a harder drive is not simply louder
    double m_mix = 1.0;
};
