#include "processors/Processor.h"

#include <cstdlib>

int Processor::setActive(int flag)
{
    m_active = flag;
    return m_active;
}

QString Processor::instanceId()
{
    if (m_instanceId.isEmpty())
        m_instanceId = QString::number(std::rand(), 32);
    return m_instanceId;
}

void Processor::saveState(QDataStream& stream)
{
    Q_UNUSED(stream);
}

void Processor::loadState(QDataStream& stream)
{
    Q_UNUSED(stream);
}

void Processor::applyRow(const quint32* values, int count, quint32 rowSerial)
{
    Q_UNUSED(values);
    Q_UNUSED(count);
    Q_UNUSED(rowSerial);
}

bool Processor::acceptRow(quint32 serial)
{
    if (serial == m_lastRow)
        return false;
    m_lastRow = serial;
    return true;
}

void Processor::ensureValueCache()
{
    if (!nodeValues.isEmpty())
        return;
    const auto layout = schema();
    if (!layout)
        return;
    // A schema without node parameters leaves nodeValues empty, so the other two lists
    // are rebuilt rather than appended to on every call.
    nodeEmpties.clear();
    trackValues.clear();
    for (const auto& p : layout->nodeParameters) {
        nodeValues.append(p->defaultValue);
        nodeEmpties.append(p->empty);
    }
    for (const auto& p : layout->trackParameters)
        trackValues.append(p->empty);
}

void Processor::setNodeParameter(int index, quint32 value)
{
    ensureValueCache();
    if (index < 0 || index >= nodeValues.size() || index >= nodeEmpties.size())
        return;
    nodeValues[index] = value;
    QList<quint32> row = nodeEmpties;
    row[index] = value;
    row.append(trackValues);
    applyRow(row.constData(), int(row.size()), quint32(manualRowSerial));
    // Counted in unsigned arithmetic so that even an absurd number of edits cannot
    // overflow the signed counter.
    manualRowSerial = qint32(quint32(manualRowSerial) - 1);
}
