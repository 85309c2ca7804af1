#pragma once

#include "processors/Processor.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

// Shared by the instrument tests: rendering, row delivery and the schema table rows.
namespace instrumentTesting {

inline QVector<double> render(Processor& processor, int frames)
{
    QVector<double> block(frames, 0.0);
    AudioContext context;
    context.frames = quint64(frames);
    context.data = block.data();
    processor.process(context);
    return block;
}

inline void deliver(Processor& processor, const QList<quint32>& lanes, quint32 serial)
{
    processor.applyRow(lanes.constData(), int(lanes.size()), serial);
}

inline double peak(const QVector<double>& samples, int from = 0)
{
    double result = 0.0;
    for (int i = from; i < samples.size(); ++i)
        result = std::max(result, std::abs(samples[i]));
    return result;
}

inline void addSchemaColumns()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QList<quint32>>("numbers"); // minimum, maximum, empty, default
}

inline void addLane(const QString& type, int index, const QString& name, const QString& description,
    ValueType kind, const QList<quint32>& numbers)
{
    QTest::newRow(qPrintable(type + ' ' + name))
        << type << index << name << description << int(kind) << numbers;
}

// Checks the fetched row against the processor's schema and its catalogue flags, which
// are the same for every instrument: an output, no input, offered to the user.
inline void checkLane(const Processor& processor, int nodeLanes, int trackLanes)
{
    QFETCH(QString, type);
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(int, valueType);
    QFETCH(QList<quint32>, numbers);
    const auto schema = processor.schema();
    QCOMPARE(schema->nodeParameters.size(), nodeLanes);
    QCOMPARE(schema->trackParameters.size(), trackLanes);
    const auto p = schema->parameterAt(index);
    QVERIFY(p);
    QCOMPARE(p->name, name);
    QCOMPARE(p->description, description);
    QCOMPARE(int(p->type), valueType);
    QCOMPARE((QList<quint32> { p->minimum, p->maximum, p->empty, p->defaultValue }), numbers);
    QCOMPARE(p->flag, quint8(0));

    const ProcessorCharacter& c = processor.character();
    QCOMPARE(c.typeID, type);
    QVERIFY(!c.takesAudioInput && c.givesAudioOutput && c.userCreatable && c.userVisible);
    QVERIFY(!c.intrinsicToSong && !c.intrinsicTrack);
}

} // namespace instrumentTesting
