#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// A named sound for one processor type. Values are keyed by parameter name, so a preset
// still fits after the type's schema gains or reorders parameters.
struct Preset {
    QString name;
    QString typeID;
    QMap<QString, quint32> values;

    bool operator==(const Preset& other) const = default;
};

// A result, or the reason there is none. Reasons are sentence fragments ("it is not JSON")
// that the caller puts after the file's name.
template <class T> struct Outcome {
    T value {};
    QString error;

    bool ok() const { return error.isEmpty(); }
};

namespace presets {

inline constexpr int kMaxNameLength = 80;

// `wanted`, or "wanted 2", "wanted 3", ... whichever is first not in `taken`, cut to fit
// kMaxNameLength.
QString uniqueName(const QString& wanted, const QStringList& taken);

} // namespace presets
