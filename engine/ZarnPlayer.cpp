#include "engine/ZarnPlayer.h"

#include "core/EngineRate.h"
#include "engine/BlockRenderer.h"
#include "engine/Logging.h"
#include "media/devices/DeviceManager.h"
#include "song/Graph.h"
#include "song/Sequencer.h"

#include <QDebug>

#include <algorithm>

using media::audio::DeviceSubgraph;
using media::devices::DeviceManager;

ZarnPlayer::ZarnPlayer(QObject* parent)
    : QObject(parent)
    , m_mix(kDefaultBufferSize)
    , m_deviceSubgraph(QSharedPointer<DeviceSubgraph>::create())
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kTickMs);
    connect(m_deviceSubgraph.data(), &DeviceSubgraph::deviceStateChanged, this,
        &ZarnPlayer::deviceStateChanged);
    connect(
        m_deviceSubgraph.data(), &DeviceSubgraph::deviceRebuilt, this, &ZarnPlayer::deviceRebuilt);
    connect(m_deviceSubgraph.data(), &DeviceSubgraph::watchdogGaveUp, this,
        &ZarnPlayer::watchdogGaveUp);
    connect(m_timer, &QTimer::timeout, this, &ZarnPlayer::renderTick);
}

ZarnPlayer::~ZarnPlayer()
{
    setRunning(false);
    m_deviceSubgraph.reset();
    m_context.reset();
    m_graph.reset();
    m_sequencer.reset();
    m_song.reset();
}

QAudioFormat ZarnPlayer::wantedFormat()
{
    QAudioFormat format;
    format.setSampleRate(kEngineRate);
    format.setChannelCount(kWantedChannels);
    format.setChannelConfig(QAudioFormat::ChannelConfigStereo);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

bool ZarnPlayer::setRunning(bool on)
{
    const bool was = m_status.running;
    m_status.running = on;
    if (on) {
        m_deviceSubgraph->start();
        if (!m_timer->isActive())
            m_timer->start();
    } else {
        if (m_timer->isActive())
            m_timer->stop();
        m_deviceSubgraph->stop();
    }
    return was;
}

void ZarnPlayer::setSong(const SongPointer& song)
{
    const bool wasRunning = setRunning(false);
    {
        const QMutexLocker lock(&m_mutex);
        m_song = song;
        m_graph.reset();
        m_sequencer.reset();
        if (m_song) {
            m_context = QSharedPointer<zarn::Context>::create(
                m_song.data(), m_song->sequencer ? &m_song->sequencer->position : nullptr);
            m_graph = m_song->graph;
            m_sequencer = m_song->sequencer;
            rebuild();
            if (m_format.sampleRate() > 0)
                applySampleRate(m_format.sampleRate());
        }
    }
    if (wasRunning)
        setRunning(true);
}

void ZarnPlayer::rebuild()
{
    if (!m_graph || !m_deviceSubgraph)
        return;
    const PlanPointer plan = m_builder.build(*m_graph);
    m_deviceSubgraph->plan = plan;
    m_deviceSubgraph->engine.setPlan(plan);
}

void ZarnPlayer::startFromSequenceBegin()
{
    const QMutexLocker lock(&m_mutex);
    if (!m_graph || !m_sequencer)
        return;
    startSongFromBeginning(*m_sequencer, *m_graph);
    // Built now rather than at the next tick, which would report a topology change.
    rebuild();
    m_graph->changed = false;
    if (m_format.sampleRate() > 0)
        applySampleRate(m_format.sampleRate());
}

void ZarnPlayer::applySampleRate(int hz)
{
    if (!m_graph)
        return;
    for (const auto& node : std::as_const(m_graph->nodes))
        if (node && node->processor)
            node->processor->setSampleRate(hz);
}

void ZarnPlayer::setMode(Mode mode)
{
    const QMutexLocker lock(&m_mutex);
    m_mode = mode;
    if (m_deviceSubgraph && m_deviceSubgraph->outputNode)
        m_deviceSubgraph->outputNode->setSilenceIntended(mode == Render);
}

QAudioDevice ZarnPlayer::chooseDevice(const QString& name, const QAudioFormat& format) const
{
    DeviceManager& devices = DeviceManager::instance();
    const QAudioDevice named = devices.findAudioOutput(name);
    if (!named.isNull() && named.isFormatSupported(format))
        return named;
    for (const QAudioDevice& device : devices.audioOutputs()) {
        if (!device.isFormatSupported(format))
            continue;
        if (debug)
            qCDebug(lcEngine).noquote()
                << "ZarnPlayer: Falling back to compatible device:" << device.description();
        return device;
    }
    return {};
}

void ZarnPlayer::onOutputChanged(const QString& name)
{
    const bool wasRunning = setRunning(false);
    {
        const QMutexLocker lock(&m_mutex);
        const QAudioFormat format = wantedFormat();
        const QAudioDevice device = chooseDevice(name, format);
        if (device.isNull()) {
            qCWarning(lcEngine) << "ZarnPlayer: No device supports format" << format;
        } else {
            // The count stays monotonic across devices, so a watcher comparing two
            // statuses never sees it fall.
            if (const auto& old = m_deviceSubgraph->outputNode)
                m_retiredUnderruns += old->underrunCount();
            m_deviceSubgraph->configure(device, format, std::max(1, format.channelCount()));
            m_deviceSubgraph->outputNode->setSilenceIntended(m_mode == Render);
            m_format = format;
            // The song's samples per tick is its tempo; it is worked out again only when
            // the rate really changes, so a song plays as it was saved.
            if (m_sequencer && m_sequencer->position.samplesPerSecond != format.sampleRate()) {
                m_sequencer->position.samplesPerSecond = format.sampleRate();
                m_sequencer->position.updateNumbers();
            }
            applySampleRate(format.sampleRate());
            m_timer->setInterval(kTickMs);
        }
    }
    if (wasRunning)
        setRunning(true);
}

void ZarnPlayer::onBufferSizeChanged(int samples)
{
    const int size = std::clamp(samples, kMinBufferSize, kMaxBufferSize);
    if (size == m_bufferSize)
        return;
    const bool wasRunning = setRunning(false);
    {
        const QMutexLocker lock(&m_mutex);
        m_bufferSize = size;
        m_mix.resize(quint64(size));
        std::fill_n(m_mix.data(), m_mix.size(), 0.0);
    }
    m_timer->setInterval(kTickMs);
    if (debug)
        qCDebug(lcEngine).noquote() << "ZarnPlayer: Buffer size changed to" << size << "samples";
    emit bufferSampleCountChanged(size);
    if (wasRunning)
        setRunning(true);
}

bool ZarnPlayer::deviceHasRoom() const
{
    const auto& node = m_deviceSubgraph->outputNode;
    if (!node)
        return true;
    const quint64 needed = quint64(std::max(1, m_format.channelCount())) * quint64(m_bufferSize);
    return node->ring().freeSpace() >= needed;
}

void ZarnPlayer::rebuildIfChanged()
{
    if (!m_graph->changed)
        return;
    rebuild();
    m_graph->changed = false;
    if (m_format.sampleRate() > 0)
        applySampleRate(m_format.sampleRate());
    if (debug)
        qCDebug(lcEngine).noquote() << "Topology adjusted";
}

bool ZarnPlayer::finishBlock()
{
    m_status.lastMs = double(m_loadTimer.nsecsElapsed()) / 1e6;
    m_status.peakMs = std::max(m_status.peakMs, m_status.lastMs);
    m_status.buffers += 1;
    const auto& node = m_deviceSubgraph->outputNode;
    m_status.underruns = m_retiredUnderruns + (node ? node->underrunCount() : 0);
    m_status.playing = m_sequencer && m_sequencer->position.playing;
    return m_status.buffers % kStatusEvery == 0;
}

// Signals go out after the mutex is released, so a receiver may reconfigure the player.
void ZarnPlayer::renderTick()
{
    bool ticksCrossed = false;
    bool statusDue = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (!m_deviceSubgraph || !m_song || !m_context || !m_graph || !m_sequencer
            || m_mode == Render || !deviceHasRoom())
            return;
        rebuildIfChanged();
        m_loadTimer.start();
        std::fill_n(m_mix.data(), m_mix.size(), 0.0);
        ticksCrossed
            = renderSongBlock(*m_sequencer, *m_graph, m_deviceSubgraph->engine, *m_context, m_mix)
            > 0;
        if (const auto& node = m_deviceSubgraph->outputNode) {
            AudioContext block;
            block.frames = quint64(m_bufferSize);
            block.channels = 1;
            block.data = m_mix.data();
            node->process(block);
        }
        statusDue = finishBlock();
    }
    if (ticksCrossed)
        emit positionChanged(m_sequencer->position);
    if (statusDue)
        emit engineStatusChanged(m_status);
}
