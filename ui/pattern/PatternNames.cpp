#include "ui/pattern/PatternNames.h"

#include <QRegularExpression>

namespace patternNames {

namespace {

constexpr int kLastNumber = 999;

QString numbered(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QChar('0'));
}

} // namespace

bool taken(const zarn::Node& node, const QString& name, const Pattern* except)
{
    for (const PatternPointer& pattern : node.patterns)
        if (pattern && pattern.data() != except && pattern->name == name)
            return true;
    return false;
}

QString proposeNew(const zarn::Node& node)
{
    for (int n = 0; n <= kLastNumber; ++n)
        if (!taken(node, numbered(n)))
            return numbered(n);
    return {};
}

QString proposeCopy(const zarn::Node& node, const QString& source)
{
    static const QString kPrefix = QStringLiteral("Copy of ");
    const QString bare = source.startsWith(kPrefix) ? source.mid(kPrefix.size()) : source;
    QString stem = bare;
    stem.remove(QRegularExpression(QStringLiteral("\\d+$")));
    stem = stem.trimmed();
    if (stem.isEmpty())
        stem = bare;
    for (int n = 0; n <= kLastNumber; ++n) {
        const QString name = kPrefix + stem + QLatin1Char(' ') + numbered(n);
        if (!taken(node, name))
            return name;
    }
    return {};
}

} // namespace patternNames
