#pragma once

#include <QEnableSharedFromThis>
#include <QMap>
#include <QObject>
#include <QSharedPointer>
#include <QString>

class Graph;
class Sequencer;

// The document: the node graph, the sequencer and the info tags, plus the changed flag with
// the reason of the last change. The flag means "saving would write something different":
// edits to what the file holds set it; view state (cursor, scroll, play position) does not.
class Song : public QObject, public QEnableSharedFromThis<Song> {
    Q_OBJECT

public:
    // A song with an empty graph, an empty sequencer and no tags.
    static QSharedPointer<Song> createEmpty();
    // A song with the intrinsic nodes of the catalogue, each with one "00" pattern of
    // `patternLength` rows, a track for every node whose type asks for one, and the
    // initial info tags.
    static QSharedPointer<Song> createNewSong(int patternLength);

    void taint(const QString& reason);
    void untaint(const QString& caller);

    bool changed = false;
    QString changeReason;
    QSharedPointer<Graph> graph;
    QSharedPointer<Sequencer> sequencer;
    QMap<QString, QString> tags; // the song info: descriptive key and value

signals:
    // The changed flag went from clear to set or back.
    void changedFlagChanged(bool changed);
    // Any change to what the file holds, even while the flag is already set.
    void tainted(const QString& reason);
};

using SongPointer = QSharedPointer<Song>;

// Marks the song behind a back reference changed, if it is still there: the parts of a
// song (graph, nodes, sequencer) hold their song weakly.
void taintSong(const QWeakPointer<Song>& song, const char* reason);
