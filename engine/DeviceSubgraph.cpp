#include "engine/DeviceSubgraph.h"
#include "engine/Logging.h"

#include <QDebug>

namespace media::audio {

DeviceSubgraph::DeviceSubgraph(QObject* parent)
    : QObject(parent)
{
    context.frames = 0;
    context.channels = 1;
}

DeviceSubgraph::~DeviceSubgraph()
{
    // A sink released while running aborts inside PulseAudio: stop first.
    stop();
    outputNode.reset();
    plan.reset();
}

void DeviceSubgraph::configure(
    const QAudioDevice& newDevice, const QAudioFormat& newFormat, int channels)
{
    stop();
    device = newDevice;
    format = newFormat;
    channelCount = std::max(1, channels);
    outputNode.reset();
    outputNode = QSharedPointer<AudioOutputNode>::create();
    outputNode->configure(device, format);
    connect(outputNode.data(), &AudioOutputNode::deviceStateChanged, this,
        &DeviceSubgraph::deviceStateChanged);
    connect(
        outputNode.data(), &AudioOutputNode::deviceRebuilt, this, &DeviceSubgraph::deviceRebuilt);
    connect(
        outputNode.data(), &AudioOutputNode::watchdogGaveUp, this, &DeviceSubgraph::watchdogGaveUp);
}

void DeviceSubgraph::start()
{
    if (!outputNode) {
        qCWarning(lcEngine).noquote() << "DeviceSubgraph::start: not configured";
        return;
    }
    outputNode->start();
}

void DeviceSubgraph::stop()
{
    if (outputNode)
        outputNode->stop();
}

} // namespace media::audio
