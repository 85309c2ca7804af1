#pragma once

// Small processors with known arithmetic and a compact way to wire them into a song
// graph, shared by the engine tests.

#include "processors/Processor.h"
#include "song/Connection.h"
#include "song/Graph.h"
#include "song/Node.h"
#include "song/RandomId.h"
#include "song/Song.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>

// Every sample becomes sample x factor + offset: a source adds `offset` to the cleared
// buffer, an effect adds or scales, a sink passes through or scales.
class ArithmeticProcessor final : public Processor {
public:
    enum class Role { Source, Effect, Sink };

    ArithmeticProcessor(Role role, double factor, double offset)
        : Processor(characterOf(role))
        , m_factor(factor)
        , m_offset(offset)
    {
    }

    void process(AudioContext& context) override
    {
        const quint64 count = context.frames * context.channels;
        for (quint64 i = 0; i < count; ++i)
            context.data[i] = context.data[i] * m_factor + m_offset;
        lastFrames = context.frames;
    }
    SchemaPointer schema() const override { return SchemaPointer::create(); }

    quint64 lastFrames = 0;

private:
    // A sink has the output node's character: it is what the song is heard through.
    static ProcessorCharacter characterOf(Role role)
    {
        switch (role) {
        case Role::Source:
            return { QStringLiteral("TestSource"), false, true, true, true, false, false };
        case Role::Effect:
            return { QStringLiteral("TestEffect"), true, true, true, true, false, false };
        case Role::Sink:
            break;
        }
        return { QStringLiteral("TestSink"), true, false, true, true, true, true };
    }

    double m_factor;
    double m_offset;
};

// Parses "+3" (add 3) or "*0.5" (scale by 0.5) into an arithmetic processor.
inline QSharedPointer<ArithmeticProcessor> arithmetic(
    ArithmeticProcessor::Role role, const QString& operation)
{
    const double value = operation.mid(1).toDouble();
    if (operation.startsWith(QLatin1Char('*')))
        return QSharedPointer<ArithmeticProcessor>::create(role, value, 0.0);
    return QSharedPointer<ArithmeticProcessor>::create(role, 1.0, value);
}

inline zarn::NodePointer makeNode(const QString& name, const QSharedPointer<Processor>& processor)
{
    auto node = QSharedPointer<zarn::Node>::create();
    node->name = name;
    node->uniqueID = randomIdentifier();
    node->processor = processor;
    return node;
}

// A song graph from a description such as
//   nodes        "Osc:source+1 Amp:effect*2 Output:sink"   (a sink without operation passes
//   through) connections  "Osc>Amp Amp>Output"
// "A~B" appends the connection as a loaded song would, bypassing the connect rules.
class TestGraph {
public:
    TestGraph(const QString& nodes, const QString& connections)
        : song(Song::createEmpty())
        , graph(QSharedPointer<Graph>::create(song))
    {
        for (const QString& text : nodes.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            addNode(text);
        for (const QString& text : connections.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            addConnection(text);
    }

    SongPointer song;
    GraphPointer graph;
    QHash<QString, zarn::NodePointer> nodes;
    QHash<QString, QSharedPointer<ArithmeticProcessor>> processors;
    QStringList refusals; // connect messages of connections the graph refused

private:
    void addNode(const QString& text)
    {
        static const QHash<QString, ArithmeticProcessor::Role> roles = {
            { QStringLiteral("source"), ArithmeticProcessor::Role::Source },
            { QStringLiteral("effect"), ArithmeticProcessor::Role::Effect },
            { QStringLiteral("sink"), ArithmeticProcessor::Role::Sink },
        };
        const QString name = text.section(QLatin1Char(':'), 0, 0);
        const QString rest = text.section(QLatin1Char(':'), 1);
        const qsizetype split = rest.indexOf(QRegularExpression(QStringLiteral("[+*]")));
        const QString role = split < 0 ? rest : rest.left(split);
        const QString operation = split < 0 ? QStringLiteral("+0") : rest.mid(split);
        const auto processor = arithmetic(roles.value(role), operation);
        const auto node = makeNode(name, processor);
        graph->addNode(node);
        nodes.insert(name, node);
        processors.insert(name, processor);
    }

    void addConnection(const QString& text)
    {
        const bool raw = text.contains(QLatin1Char('~'));
        const QStringList ends = text.split(raw ? QLatin1Char('~') : QLatin1Char('>'));
        const auto from = nodes.value(ends.value(0));
        const auto to = nodes.value(ends.value(1));
        if (raw) {
            graph->connections.append(ConnectionPointer::create(from, to, song));
            return;
        }
        const auto result = graph->connect(from, to);
        if (!result.ok)
            refusals.append(result.message);
    }
};
