#include "processors/scope/ScopeProcessor.h"
#include "core/EngineRate.h"

#include <algorithm>
#include <cmath>

namespace {

SpectrumAnalyser::Config analyserFor(int sampleRate)
{
    SpectrumAnalyser::Config config;
    config.sampleRate = sampleRate > 0 ? sampleRate : kEngineRate;
    return config;
}

} // namespace

ScopeProcessor::ScopeProcessor(int sampleRate)
    : Processor(ProcessorCharacter("Scope", true, false, false, false, false, false))
    , m_analyser(analyserFor(sampleRate))
    , m_spectrum(std::size_t(m_analyser.bins()), 0.0)
{
    m_lastBlock.reserve(kLongestBlock);
}

int ScopeProcessor::setActive(int flag)
{
    if (flag != m_active)
        m_active = flag;
    return m_active;
}

SchemaPointer ScopeProcessor::schema() const
{
    return schemaOnce([] { return QSharedPointer<NodeParameterSchema>::create(); });
}

void ScopeProcessor::process(AudioContext& context)
{
    const quint64 n = context.data ? context.frames * context.channels : 0;
    m_lastBlock.resize(n);
    std::copy_n(context.data, n, m_lastBlock.begin());
    ++m_blockCount;
    for (quint64 done = 0; done < n;) {
        const quint64 m = std::min(n - done, kSnapshotInterval - m_sampleCounter);
        m_analyser.run(context.data + done, m);
        done += m;
        m_sampleCounter += m;
        if (m_sampleCounter == kSnapshotInterval) {
            m_sampleCounter = 0;
            snapshot();
        }
    }
}

void ScopeProcessor::snapshot()
{
    const int bins = std::min(int(m_spectrum.size()), m_analyser.bins());
    bool finite = true;
    for (int k = 0; k < bins; ++k) {
        m_spectrum[k] = m_analyser.power(k);
        finite = finite && std::isfinite(m_spectrum[k]);
    }
    // A non-finite sample would stay in the smoothers for good; the views see one
    // empty snapshot instead.
    if (!finite) {
        m_analyser.clear();
        std::fill(m_spectrum.begin(), m_spectrum.end(), 0.0);
    }
    ++m_snapshotCount;
}
