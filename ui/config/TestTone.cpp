#include "ui/config/TestTone.h"

#include "core/EngineRate.h"
#include "engine/PlanBuilder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

} // namespace

ZarnConfigEditorTestTone::ZarnConfigEditorTestTone(qint32 sampleRate, float frequency)
    : m_sampleRate(sampleRate)
    , m_frequency(frequency)
    , m_character(
          QString::fromLatin1(TestToneRig::kToneName), false, true, true, true, false, false)
{
}

void ZarnConfigEditorTestTone::process(AudioContext& context)
{
    if (!context.data || context.frames == 0 || m_sampleRate < 1)
        return;
    const double step = kTwoPi * double(m_frequency) / double(m_sampleRate);
    double* const first = context.data;
    for (quint64 i = 0; i < context.frames; ++i) {
        first[i] = double(m_amplitude) * std::sin(m_phase);
        m_phase += step;
    }
    // A block may span several cycles, so one subtraction would not always bring it back.
    m_phase = std::fmod(m_phase, kTwoPi);
    for (quint64 c = 1; c < context.channels; ++c)
        std::copy_n(first, context.frames, first + c * context.frames);
}

QAudioFormat TestToneRig::format()
{
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setChannelCount(1);
    format.setSampleRate(kEngineRate);
    return format;
}

quint64 TestToneRig::blocksToRender(quint64 queuedFrames)
{
    if (queuedFrames >= kQueuedFrames)
        return 0;
    return (kQueuedFrames - queuedFrames + kBlockFrames - 1) / kBlockFrames;
}

TestToneRig::TestToneRig(const QAudioDevice& device, QObject* parent)
    : QObject(parent)
    , m_tone(QSharedPointer<ZarnConfigEditorTestTone>::create(format().sampleRate()))
    , m_output(QSharedPointer<media::audio::AudioOutputNode>::create())
    , m_block(kBlockFrames)
    , m_device(device)
{
    m_output->configure(device, format());

    using media::audio::Node;
    const auto tone = QSharedPointer<Node>::create(QString::fromLatin1(kToneName), m_tone);
    const auto sink = QSharedPointer<Node>::create(QString::fromLatin1(kSinkName), m_output);
    // The graph tells nodes apart by their identifier when it looks for loops.
    tone->uniqueID = tone->name;
    sink->uniqueID = sink->name;
    m_graph.addNode(tone);
    m_graph.addNode(sink);
    m_graph.connect(tone, sink);
    m_engine.setPlan(PlanBuilder<Node, media::audio::Connection>().build(m_graph));

    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &TestToneRig::renderTick);
}

TestToneRig::~TestToneRig()
{
    stop();
}

bool TestToneRig::start()
{
    renderTick(); // so the sink's first pull finds audio waiting
    if (!m_output->start())
        return false;
    m_timer.start();
    return true;
}

void TestToneRig::stop()
{
    setSounding(false);
    m_timer.stop();
    m_output->stop();
    // With the sink stopped nothing else reads the ring; what is left of a tone would
    // otherwise sound when the rig starts again.
    float scrap[kBlockFrames];
    while (m_output->ring().read(scrap, kBlockFrames) > 0) { }
}

bool TestToneRig::moveTo(const QAudioDevice& device)
{
    const bool wasRunning = isRunning();
    stop();
    m_device = device;
    m_output->configure(device, format());
    return !wasRunning || start();
}

void TestToneRig::setSounding(bool on)
{
    m_tone->setAmplitude(on ? 1.0f : 0.0f);
}

void TestToneRig::renderTick()
{
    const quint64 queued
        = m_output->ring().available() / std::max<quint64>(1, m_output->channelCount());
    for (quint64 n = blocksToRender(queued); n > 0; --n)
        execute(m_engine, m_context, m_block);
}
