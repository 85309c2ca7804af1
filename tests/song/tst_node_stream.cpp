#include "core/DataStream.h"
#include "song/Graph.h"
#include "song/Song.h"

#include <QtTest>

#include <functional>
#include <limits>

namespace {

QByteArray encode(const std::function<void(QDataStream&)>& write)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    datastream::prepare(stream);
    write(stream);
    return bytes;
}

// Reads `bytes` into the graph of a fresh song and returns the stream's final status.
QDataStream::Status readInto(const SongPointer& song, const QByteArray& bytes)
{
    QDataStream stream(bytes);
    datastream::prepare(stream);
    song->graph->read(stream);
    return stream.status();
}

// Collects the node's own log lines while it lives.
class TrackerNodeLog {
public:
    TrackerNodeLog()
    {
        s_lines = &lines;
        m_previous = qInstallMessageHandler(collect);
    }
    ~TrackerNodeLog()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }

    QStringList lines;

private:
    static void collect(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        if (text.contains("TrackerNode"))
            s_lines->append(text);
    }
    static inline QStringList* s_lines = nullptr;
    QtMessageHandler m_previous;
};

PatternPointer pattern(const QString& name, const zarn::NodePointer& node, int length,
    const QList<QList<quint32>>& rows)
{
    auto p = PatternPointer::create(name, node, length);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].isEmpty())
            continue; // an empty list stands for a null slot
        auto row = RowPointer::create();
        row->cells = rows[i];
        p->setRow(int(i), row);
    }
    return p;
}

// A node record of a type the factory does not offer, written field by field.
void writeUnknownNode(QDataStream& stream, const QString& id, const Pattern& p)
{
    stream << QString("Mystery") << id << QPointF(12, 34) << QString("NoSuchType");
    stream << qint64(0) << qint64(0); // schema: no node and no track parameters
    stream << qint64(1);
    p.write(stream);
}

} // namespace

class NodeStreamTest : public QObject {
    Q_OBJECT

private slots:
    void createUsesTheFactory_data();
    void createUsesTheFactory();
    void recordBytesAndLogLines_data();
    void recordBytesAndLogLines();
    void graphRoundTrip();
    void unknownTypeLoadsAsLoadError_data();
    void unknownTypeLoadsAsLoadError();
    void hostileCountsAreRefused_data();
    void hostileCountsAreRefused();
    void everyTruncationIsReported();
};

void NodeStreamTest::createUsesTheFactory_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("takesInput");
    QTest::addColumn<bool>("givesOutput");
    QTest::addColumn<QString>("typeName");

    QTest::newRow("output") << "Output" << true << false << "Output";
    QTest::newRow("input") << "Input" << false << true << "Input";
    QTest::newRow("not offered") << "NoSuchType" << false << false << "unknown";
}

void NodeStreamTest::createUsesTheFactory()
{
    QFETCH(QString, type);
    QFETCH(bool, takesInput);
    QFETCH(bool, givesOutput);
    QFETCH(QString, typeName);

    const auto song = Song::createEmpty();
    const auto first = zarn::Node::create(type, song);
    const auto second = zarn::Node::create(type, song);

    QCOMPARE(first->name, type);
    QVERIFY(QRegularExpression("^[a-zA-Z0-9]{20}$").match(first->uniqueID).hasMatch());
    QVERIFY(first->uniqueID != second->uniqueID);
    QCOMPARE(second->serial, first->serial + 1);
    QCOMPARE(first->song.toStrongRef(), song);
    QCOMPARE(first->takesAudioInput(), takesInput);
    QCOMPARE(first->givesAudioOutput(), givesOutput);
    QCOMPARE(first->typeName(), typeName);
}

void NodeStreamTest::recordBytesAndLogLines_data()
{
    QTest::addColumn<bool>("debug");
    QTest::newRow("quiet") << false;
    QTest::newRow("debug") << true;
}

void NodeStreamTest::recordBytesAndLogLines()
{
    QFETCH(bool, debug);

    zarn::Node node;
    node.name = "N";
    node.uniqueID = "U";
    node.position = QPointF(1, 2);
    node.debug = debug;
    TrackerNodeLog log;
    const QByteArray bytes = encode([&](QDataStream& s) { node.write(s); });

    const QByteArray expected = QByteArray::fromHex("00000002"
                                                    "004E" // name
                                                    "00000002"
                                                    "0055" // uniqueID
                                                    "3FF0000000000000"
                                                    "4000000000000000"
                                                    "0000000E"
                                                    "0075006E006B006E006F0077006E"
                                                    "0000000000000000"
                                                    "0000000000000000"
                                                    "0000000000000000"); // no patterns
    QCOMPARE(bytes.toHex(), expected.toHex());

    zarn::Node loaded;
    loaded.debug = debug;
    QDataStream in(bytes);
    datastream::prepare(in);
    loaded.read(in, {});
    QCOMPARE(loaded.uniqueID, QString("U"));
    QCOMPARE(loaded.position, QPointF(1, 2));

    const QStringList lines = {
        "Stream OUT TrackerNode: name=N, uniqueID=U, pos=QPointF(1,2), type=unknown",
        "Stream OUT TrackerNode: patterns=0",
        "Stream IN TrackerNode: name=N, uniqueID=U, pos=QPointF(1,2), type=unknown",
        "Stream IN TrackerNode: patterns=0",
    };
    QCOMPARE(log.lines, debug ? lines : QStringList());
}

void NodeStreamTest::graphRoundTrip()
{
    const auto song = Song::createEmpty();
    const auto mic = zarn::Node::create("Input", song);
    const auto out = zarn::Node::create("Output", song);
    mic->setName("Mic");
    mic->setPosition(QPointF(12.5, -3));
    out->setPosition(QPointF(800, 500));
    mic->addPattern(pattern("00", mic, 16, { { 1, 2, 3 }, {}, { 0xFFFFFFFF } }));
    out->addPattern(pattern("00", out, 16, {}));
    out->addPattern(pattern("01", out, 4, { {}, {}, {}, { 7 } }));
    song->graph->addNode(mic);
    song->graph->addNode(out);
    QVERIFY(song->graph->connect(mic, out).ok);

    const QString link = QString("Connection: from=%1, to=%2").arg(mic->uniqueID, out->uniqueID);
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT NodeGraph: nodeSize=2");
    QTest::ignoreMessage(QtDebugMsg, "Stream OUT NodeGraph: connectionsSize=1");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Stream OUT " + link));
    const QByteArray bytes = encode([&](QDataStream& s) { song->graph->write(s); });

    // Whatever the target held before is replaced.
    const auto copy = Song::createEmpty();
    copy->graph->addNode(zarn::Node::create("Output", copy));
    copy->graph->changed = false;
    QTest::ignoreMessage(QtDebugMsg, "Stream IN NodeGraph: nodesSize=2");
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Stream IN " + link));
    QCOMPARE(readInto(copy, bytes), QDataStream::Ok);
    QVERIFY(copy->graph->changed);

    const Graph& g = *copy->graph;
    QCOMPARE(g.nodes.size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        const auto& original = song->graph->nodes[i];
        const auto& loaded = g.nodes[i];
        QCOMPARE(loaded->name, original->name);
        QCOMPARE(loaded->uniqueID, original->uniqueID);
        QCOMPARE(loaded->position, original->position);
        QCOMPARE(loaded->typeName(), original->typeName());
        QCOMPARE(loaded->song.toStrongRef(), copy);
        QCOMPARE(loaded->patterns.size(), original->patterns.size());
        for (qsizetype p = 0; p < loaded->patterns.size(); ++p) {
            const auto& a = *original->patterns[p];
            const auto& b = *loaded->patterns[p];
            QCOMPARE(b.name, a.name);
            QCOMPARE(b.uniqueID, a.uniqueID);
            QCOMPARE(b.length, a.length);
            QCOMPARE(b.node.toStrongRef(), loaded);
            QCOMPARE(b.rows.size(), a.rows.size());
            for (qsizetype r = 0; r < a.rows.size(); ++r) {
                QCOMPARE(bool(b.rows[r]), bool(a.rows[r]));
                if (a.rows[r])
                    QCOMPARE(b.rows[r]->cells, a.rows[r]->cells);
            }
        }
    }
    QCOMPARE(g.connections.size(), 1);
    QCOMPARE(g.connections[0]->from, g.nodes[0]);
    QCOMPARE(g.connections[0]->to, g.nodes[1]);
    QCOMPARE(g.connections[0]->song.toStrongRef(), copy);
    QVERIFY(g.connections[0]->flag);
    QVERIFY(!g.connections[0]->attachment);
}

void NodeStreamTest::unknownTypeLoadsAsLoadError_data()
{
    QTest::addColumn<int>("knownBefore");
    QTest::addColumn<int>("knownAfter");
    QTest::addColumn<int>("loadedNodes");

    QTest::newRow("only node") << 0 << 0 << 1;
    QTest::newRow("last of two") << 1 << 0 << 2;
    // Nothing after a record whose end is unknown is read.
    QTest::newRow("first of two") << 0 << 1 << 1;
}

void NodeStreamTest::unknownTypeLoadsAsLoadError()
{
    QFETCH(int, knownBefore);
    QFETCH(int, knownAfter);
    QFETCH(int, loadedNodes);

    const auto song = Song::createEmpty();
    const QString id = "abcdefghijKLMNOPQRST";
    const auto stored = pattern("P1", {}, 8, { {}, { 5, 6 } });
    const auto known = zarn::Node::create("Output", song);
    const QByteArray bytes = encode([&](QDataStream& s) {
        s << qint64(knownBefore + 1 + knownAfter);
        for (int i = 0; i < knownBefore; ++i)
            known->write(s);
        writeUnknownNode(s, id, *stored);
        for (int i = 0; i < knownAfter; ++i)
            known->write(s);
        s << qint64(0); // no connections
    });

    QCOMPARE(readInto(song, bytes), QDataStream::ReadCorruptData);
    const auto& nodes = song->graph->nodes;
    QCOMPARE(nodes.size(), loadedNodes);
    const auto node = nodes[knownBefore];
    QCOMPARE(node->name, QString("Load Error"));
    QCOMPARE(node->uniqueID, id);
    QCOMPARE(node->position, QPointF(12, 34));
    QVERIFY(!node->processor);
    QCOMPARE(node->patterns.size(), 1);
    QCOMPARE(node->patterns[0]->uniqueID, stored->uniqueID);
    QCOMPARE(node->patterns[0]->rows.size(), 2);
    QCOMPARE(node->patterns[0]->rows[1]->cells, QList<quint32>({ 5, 6 }));
    QCOMPARE(node->patterns[0]->node.toStrongRef(), node);
    if (knownBefore)
        QCOMPARE(nodes[0]->uniqueID, known->uniqueID);
}

void NodeStreamTest::hostileCountsAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("loadedNodes");

    const qint64 huge = std::numeric_limits<qint64>::max();
    QTest::newRow("huge node count") << encode([&](QDataStream& s) { s << huge; }) << 0;
    QTest::newRow("negative node count") << encode([](QDataStream& s) { s << qint64(-1); }) << 0;
    QTest::newRow("huge connection count")
        << encode([&](QDataStream& s) { s << qint64(0) << huge; }) << 0;
    QTest::newRow("huge pattern count") << encode([&](QDataStream& s) {
        s << qint64(1) << QString("N") << QString("U") << QPointF() << QString("Input");
        s << qint64(0) << qint64(0) << huge;
    }) << 1;
}

void NodeStreamTest::hostileCountsAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, loadedNodes);

    const auto song = Song::createEmpty();
    QCOMPARE(readInto(song, bytes), QDataStream::ReadCorruptData);
    QCOMPARE(song->graph->nodes.size(), loadedNodes);
    QVERIFY(song->graph->connections.isEmpty());
}

void NodeStreamTest::everyTruncationIsReported()
{
    const auto song = Song::createEmpty();
    const auto in = zarn::Node::create("Input", song);
    const auto out = zarn::Node::create("Output", song);
    in->addPattern(pattern("00", in, 4, { { 1 }, {}, { 2, 3 } }));
    song->graph->addNode(in);
    song->graph->addNode(out);
    QVERIFY(song->graph->connect(in, out).ok);
    const QByteArray bytes = encode([&](QDataStream& s) { song->graph->write(s); });

    for (qsizetype length = 0; length < bytes.size(); ++length) {
        const auto copy = Song::createEmpty();
        QVERIFY2(readInto(copy, bytes.left(length)) != QDataStream::Ok,
            qPrintable(QString::number(length)));
        QVERIFY(copy->graph->nodes.size() <= 2);
        QVERIFY(copy->graph->connections.isEmpty());
    }
}

QTEST_GUILESS_MAIN(NodeStreamTest)
#include "tst_node_stream.moc"
