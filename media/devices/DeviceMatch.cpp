#include "media/devices/DeviceMatch.h"

#include <QRegularExpression>

#include <algorithm>
#include <vector>

namespace media::devices {

namespace {

constexpr double kTagScore = 1.0;
constexpr double kDescriptionWeight = 0.9;

// Edit distance with two rolling rows: insertion, deletion and substitution cost 1.
qsizetype editDistance(const QString& a, const QString& b)
{
    std::vector<qsizetype> previous(std::size_t(b.size()) + 1);
    std::vector<qsizetype> current(previous.size());
    for (qsizetype j = 0; j <= b.size(); ++j)
        previous[std::size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype substitution
                = previous[std::size_t(j - 1)] + (a.at(i - 1) == b.at(j - 1) ? 0 : 1);
            current[std::size_t(j)] = std::min(
                { previous[std::size_t(j)] + 1, current[std::size_t(j - 1)] + 1, substitution });
        }
        std::swap(previous, current);
    }
    return previous[std::size_t(b.size())];
}

double scoreOf(
    const QString& query, const QString& queryTag, const QString& candidate, double threshold)
{
    const QString text = candidate.toLower();
    const QString tag = deviceTag(text);
    if (!queryTag.isEmpty() && queryTag == tag)
        return kTagScore;
    const double s = similarity(query, text);
    return s >= threshold ? kDescriptionWeight * s : 0.0;
}

} // namespace

QString deviceTag(const QString& text)
{
    static const QRegularExpression inParentheses(QStringLiteral("\\(([0-9a-f]{4}:[0-9a-f]{4})\\)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression alone(
        QStringLiteral("^([0-9a-f]{4}:[0-9a-f]{4})$"), QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch match = inParentheses.match(text);
    if (!match.hasMatch())
        match = alone.match(text.trimmed());
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

double similarity(const QString& a, const QString& b)
{
    if (a.isEmpty() && b.isEmpty())
        return 1.0;
    if (a.isEmpty() || b.isEmpty())
        return 0.0;
    const double longer = double(std::max(a.size(), b.size()));
    return 1.0 - double(editDistance(a, b)) / longer;
}

DeviceMatch fuzzyMatch(const QString& query, const QStringList& candidates, double threshold)
{
    DeviceMatch best;
    if (query.isEmpty() || candidates.isEmpty())
        return best;
    const QString q = query.toLower();
    const QString qTag = deviceTag(q);
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const double score = scoreOf(q, qTag, candidates.at(i), threshold);
        if (best.index < 0 || score > best.score)
            best = { qint32(i), score, false };
    }
    best.found = best.index >= 0 && best.score > 0.0;
    return best;
}

} // namespace media::devices
