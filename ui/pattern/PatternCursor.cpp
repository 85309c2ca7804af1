#include "ui/pattern/PatternCursor.h"

#include "song/Pattern.h"
#include "ui/Logging.h"

#include <QDebug>

#include <algorithm>

namespace {

// Which parameter of the list holds character `digit`, and where inside it.
std::pair<int, int> parameterOfDigit(const QList<ParameterPointer>& parameters, int digit)
{
    for (int i = 0; i < parameters.size(); ++i) {
        const int width = charactersOf(parameters.at(i)->valueType());
        if (digit < width)
            return { i, digit };
        digit -= width;
    }
    return { 0, 0 };
}

void deltaZero(bool debug, const char* text)
{
    if (debug)
        qCDebug(lcUi) << text;
}

} // namespace

void PatternCursor::setLayout(const SchemaPointer& schema, int lanes, int length)
{
    m_schema = schema;
    m_lanes = std::clamp(lanes, 0, int(Pattern::kMaxLanes));
    m_length = std::max(1, length);
    tick = std::clamp(tick, 0, m_length - 1);
    digit = std::clamp(digit, 0, std::max(0, digitCount() - 1));
    locate();
}

int PatternCursor::nodeDigits() const
{
    return m_schema ? m_schema->digitCount(0) : 0;
}

int PatternCursor::laneDigits() const
{
    return m_schema ? m_schema->digitCount(1) : 0;
}

int PatternCursor::digitCount() const
{
    return nodeDigits() + m_lanes * laneDigits();
}

int PatternCursor::firstDigitOf(int parameter) const
{
    if (!m_schema || parameter < 0)
        return -1;
    const int nodeCount = int(m_schema->nodeParameters.size());
    const int trackCount = int(m_schema->trackParameters.size());
    int digit = 0;
    if (parameter < nodeCount) {
        for (int i = 0; i < parameter; ++i)
            digit += charactersOf(m_schema->nodeParameters.at(i)->valueType());
        return digit;
    }
    if (trackCount == 0)
        return -1;
    const int lane = (parameter - nodeCount) / trackCount;
    digit = nodeDigits() + lane * laneDigits();
    for (int i = 0; i < (parameter - nodeCount) % trackCount; ++i)
        digit += charactersOf(m_schema->trackParameters.at(i)->valueType());
    return digit < digitCount() ? digit : -1;
}

void PatternCursor::locate()
{
    digitInParameter = 0;
    parameterIndex = 0;
    column = 0;
    if (!m_schema || digitCount() == 0)
        return;
    const int nodeCount = int(m_schema->nodeParameters.size());
    if (digit < nodeDigits()) {
        std::tie(parameterIndex, digitInParameter)
            = parameterOfDigit(m_schema->nodeParameters, digit);
        return;
    }
    const int lane = (digit - nodeDigits()) / laneDigits();
    const auto [index, inside]
        = parameterOfDigit(m_schema->trackParameters, (digit - nodeDigits()) % laneDigits());
    parameterIndex = nodeCount + lane * int(m_schema->trackParameters.size()) + index;
    digitInParameter = inside;
    column = lane + 1;
}

bool PatternCursor::moveTickAbsolute(int target)
{
    target = std::clamp(target, 0, m_length - 1);
    if (target == tick) {
        deltaZero(debug, "Delta Zero in moveTickAbsolute");
        return false;
    }
    tick = target;
    return true;
}

bool PatternCursor::moveDigitAbsolute(int target)
{
    const int last = std::max(0, digitCount() - 1);
    const int direction = target < digit ? -1 : 1;
    target = std::clamp(target, 0, last);
    const int before = digit;
    digit = target;
    locate();
    // The middle of a note is skipped in the direction of motion.
    const ParameterPointer p = m_schema ? m_schema->parameterOfCell(parameterIndex) : nullptr;
    if (p && p->valueType() == ValueType::MidiNote && digitInParameter == 1) {
        digit = std::clamp(digit + direction, 0, last);
        locate();
    }
    if (digit == before) {
        deltaZero(debug, "Delta Zero in moveDigitAbsolute");
        return false;
    }
    return true;
}

bool PatternCursor::moveColumnAbsolute(int target)
{
    target = std::clamp(target, 0, 256);
    const int start = target == 0 ? 0 : nodeDigits() + (target - 1) * laneDigits();
    const int before = digit;
    digit = std::clamp(start, 0, std::max(0, digitCount() - 1));
    locate();
    if (digit == before) {
        deltaZero(debug, "Delta Zero in moveColumnAbsolute");
        return false;
    }
    return true;
}

bool PatternCursor::moveColumnRelative(int delta)
{
    const int target = std::clamp(column + delta, 0, m_lanes);
    if (target == column) {
        if (debug)
            qCWarning(lcUi) << "Delta Zero in moveColumnRelative";
        return false;
    }
    return moveColumnAbsolute(target);
}
