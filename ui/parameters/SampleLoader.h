#pragma once

#include "processors/sources/SampleFile.h"
#include "song/Node.h"
#include "ui/MessageBoxes.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class QWidget;
class SongHistory;

// Loads sound files into Sample nodes. The file is read on a thread of its own, so the song
// plays on while a long file converts; the sample then arrives as one step of the history,
// and a refusal as a warning that names the file, leaving the node's sample as it was.
class SampleLoader : public QObject {
    Q_OBJECT

public:
    // Asks for a file to load; empty when the user cancels. Tests answer for the user.
    using PathAsker = std::function<QString()>;
    // The history to record in, or null to change the node without one.
    using HistoryFinder = std::function<SongHistory*()>;

    SampleLoader(QWidget* parent, HistoryFinder history);
    // Stops a read in progress and waits for its thread.
    ~SampleLoader() override;

    // Whether the node plays samples, so loading one into it makes sense.
    static bool takes(const zarn::Node& node);

    // Asks for a file and loads it into the node.
    void chooseFor(const zarn::NodePointer& node);
    // Starts loading; false, with a warning, while another file is still loading.
    bool load(const zarn::NodePointer& node, const QString& path);
    bool busy() const { return m_thread != nullptr; }

    PathAsker askPath;
    Informer warn;

signals:
    // After a load ended, whether or not the node took the sample.
    void finished(bool loaded);

private:
    void finish(const zarn::NodePointer& node, const QString& path);
    // False, with a warning, when the song cannot carry the sample besides its others.
    bool apply(const zarn::NodePointer& node, const QString& path, const Sample& sample);

    HistoryFinder m_history;
    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_stop = false;
    samplefile::Loaded m_result; // written by the thread, read after it finished
};
