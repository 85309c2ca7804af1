#pragma once

#include "processors/Processor.h"
#include "processors/scope/SpectrumAnalyser.h"

#include <vector>

// A hidden sink for the scope views: keeps a copy of the last block and a power spectrum
// from 20 Hz to 20 kHz, refreshed every 64 samples. Both live in storage allocated at
// construction, so the views read them between render ticks without the render path
// allocating.
class ScopeProcessor final : public Processor {
public:
    static constexpr quint64 kSnapshotInterval = 64;
    // The longest block the engine renders; a longer one still works, but allocates.
    static constexpr quint64 kLongestBlock = 8192;

    explicit ScopeProcessor(int sampleRate);

    void process(AudioContext& context) override;
    int setActive(int flag) override;
    SchemaPointer schema() const override;

    const std::vector<double>& lastBlock() const { return m_lastBlock; }
    quint64 blockCount() const { return m_blockCount; }
    const SpectrumAnalyser& analyser() const { return m_analyser; }
    const std::vector<double>& spectrum() const { return m_spectrum; }
    quint64 snapshotCount() const { return m_snapshotCount; }

private:
    void snapshot();

    std::vector<double> m_lastBlock;
    quint64 m_blockCount = 0;
    SpectrumAnalyser m_analyser;
    std::vector<double> m_spectrum;
    quint64 m_snapshotCount = 0;
    quint64 m_sampleCounter = 0;
};
