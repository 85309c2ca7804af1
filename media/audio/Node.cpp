#include "media/audio/Node.h"

#include "core/ProcessorCharacter.h"

namespace media::audio {

Node::Node(const QString& name, const QSharedPointer<AudioNode>& audioNode)
    : audioNode(audioNode)
{
    this->name = name;
}

bool Node::takesAudioInput() const
{
    return audioNode && audioNode->character().takesAudioInput;
}

bool Node::givesAudioOutput() const
{
    return audioNode && audioNode->character().givesAudioOutput;
}

QString Node::typeName() const
{
    return audioNode ? audioNode->character().typeID : QStringLiteral("none");
}

} // namespace media::audio
