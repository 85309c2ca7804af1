#include "processors/presets/Preset.h"

namespace presets {

QString uniqueName(const QString& wanted, const QStringList& taken)
{
    QString name = wanted.left(kMaxNameLength);
    for (int n = 2; taken.contains(name); ++n) {
        const QString number = QStringLiteral(" %1").arg(n);
        name = wanted.left(kMaxNameLength - number.size()) + number;
    }
    return name;
}

} // namespace presets
