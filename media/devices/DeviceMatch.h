#pragma once

#include <QString>
#include <QStringList>

namespace media::devices {

// The result of looking a remembered device description up among the present ones.
struct DeviceMatch {
    qint32 index = -1;
    double score = 0.0;
    bool found = false;
};

// The "(vvvv:pppp)" vendor and product tag a description carries, in lower case; a text
// that is only such a pair counts too. Empty when there is none.
QString deviceTag(const QString& text);

// 1 minus the edit distance over the longer length: 1 for equal texts, 0 for nothing alike.
double similarity(const QString& a, const QString& b);

// The candidate most like `query`: the same tag scores 1, otherwise 0.9 x similarity when
// that reaches `threshold`. The earliest of equal best scores wins.
DeviceMatch fuzzyMatch(const QString& query, const QStringList& candidates, double threshold);

} // namespace media::devices
