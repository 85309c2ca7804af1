#include "song/Song.h"

#include "processors/ProcessorFactory.h"
#include "song/Graph.h"
#include "song/Logging.h"
#include "song/Sequencer.h"
#include "song/SongInfoModel.h"

#include <QDebug>

namespace {

const QString kOutputType = QStringLiteral("Output");
const QString kFirstPatternName = QStringLiteral("00");
constexpr QPointF kOutputPosition { 800.0, 500.0 };
constexpr QPointF kFirstPosition { 100.0, 100.0 };

} // namespace

QSharedPointer<Song> Song::createEmpty()
{
    auto song = QSharedPointer<Song>::create();
    song->graph = QSharedPointer<Graph>::create(song);
    song->sequencer = QSharedPointer<Sequencer>::create(song);
    return song;
}

QSharedPointer<Song> Song::createNewSong(int patternLength)
{
    auto song = createEmpty();
    song->tags = SongInfoModel::initialTags();
    const ProcessorFactory& factory = ProcessorFactory::instance();
    QPointF running = kFirstPosition;
    for (const QString& typeID : factory.typeIDs()) {
        const ProcessorCharacter* character = factory.characterOf(typeID);
        if (!character || !character->intrinsicToSong)
            continue;
        const auto node = zarn::Node::create(typeID, song);
        if (typeID == kOutputType) {
            node->setPosition(kOutputPosition);
        } else {
            node->setPosition(running);
            const QRectF box = node->boundingRect();
            running += QPointF(box.right(), box.top());
        }
        node->addPattern(PatternPointer::create(kFirstPatternName, node, patternLength));
        song->graph->addNode(node);
        if (character->intrinsicTrack)
            song->sequencer->addTrack(node);
    }
    // Building the song is not an edit: a new song has nothing to save yet.
    song->untaint(QStringLiteral("createNewSong"));
    return song;
}

void Song::taint(const QString& reason)
{
    if (changeReason != reason)
        changeReason = reason;
    emit tainted(reason);
    if (changed)
        return;
    changed = true;
    emit changedFlagChanged(true);
}

void taintSong(const QWeakPointer<Song>& song, const char* reason)
{
    if (const auto owner = song.toStrongRef())
        owner->taint(QString::fromLatin1(reason));
}

void Song::untaint(const QString& caller)
{
    qCDebug(lcSong).noquote() << "Song un-tainted by" << caller;
    if (!changed)
        return;
    changed = false;
    emit changedFlagChanged(false);
}
