#include "ui/parameters/SampleLoader.h"

#include "processors/sources/SampleProcessor.h"
#include "song/Graph.h"
#include "song/Song.h"
#include "ui/undo/SampleCommand.h"
#include "ui/undo/SongHistory.h"

#include <QFileDialog>
#include <QThread>
#include <QWidget>

#include <memory>
#include <utility>

namespace {

QString titleText()
{
    return SampleLoader::tr("Load Sample");
}

// The node's song, when the node is still part of it.
SongPointer songHolding(const zarn::NodePointer& node)
{
    const SongPointer song = node->song.toStrongRef();
    return song && song->graph && song->graph->nodes.contains(node) ? song : SongPointer();
}

// The frames every Sample node of the song but `except` holds.
qint64 otherFrames(const Song& song, const zarn::Node& except)
{
    qint64 frames = 0;
    for (const zarn::NodePointer& node : std::as_const(song.graph->nodes))
        if (node.data() != &except)
            frames += SampleCommand::sampleOf(*node).frames.size();
    return frames;
}

} // namespace

SampleLoader::SampleLoader(QWidget* parent, HistoryFinder history)
    : QObject(parent)
    , askPath([parent] {
        return QFileDialog::getOpenFileName(parent, titleText(), {}, samplefile::dialogFilter());
    })
    , warn(messageBoxes::warner(parent))
    , m_history(std::move(history))
{
}

SampleLoader::~SampleLoader()
{
    m_stop = true;
    if (m_thread)
        m_thread->wait();
}

bool SampleLoader::takes(const zarn::Node& node)
{
    return dynamic_cast<const SampleProcessor*>(node.processor.data()) != nullptr;
}

void SampleLoader::chooseFor(const zarn::NodePointer& node)
{
    if (const QString path = askPath ? askPath() : QString(); !path.isEmpty())
        load(node, path);
}

bool SampleLoader::load(const zarn::NodePointer& node, const QString& path)
{
    if (!node || !takes(*node))
        return false;
    if (busy()) {
        warn(titleText(), tr("Another sample is still loading; try again when it is done."));
        return false;
    }
    m_thread.reset(QThread::create([this, path] { m_result = samplefile::load(path, &m_stop); }));
    connect(m_thread.get(), &QThread::finished, this, [this, node, path] { finish(node, path); });
    m_thread->start();
    return true;
}

void SampleLoader::finish(const zarn::NodePointer& node, const QString& path)
{
    // The thread has sent its last signal but may not have returned yet.
    m_thread->wait();
    m_thread.reset();
    const samplefile::Loaded result = std::exchange(m_result, {});
    if (!result.ok())
        warn(titleText(), result.error);
    emit finished(result.ok() && apply(node, path, result.sample));
}

// A node that left its song meanwhile (deleted, or another song opened) gets nothing.
bool SampleLoader::apply(const zarn::NodePointer& node, const QString& path, const Sample& sample)
{
    const SongPointer song = songHolding(node);
    if (!song)
        return false;
    if (otherFrames(*song, *node) + sample.frames.size() > Sample::kMaxSongFrames) {
        warn(titleText(),
            samplefile::refusal(path,
                tr("the song's samples would be longer than %1 minutes together")
                    .arg(Sample::kMaxSongFrames / Sample::kRate / 60)));
        return false;
    }
    auto command = std::make_unique<SampleCommand>(node, sample);
    SongHistory* history = m_history ? m_history() : nullptr;
    if (history && history->song() == song) {
        history->push(command.release());
        return true;
    }
    command->redo();
    song->taint(command->text());
    return true;
}
