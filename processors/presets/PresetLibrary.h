#pragma once

#include "core/NodeParameterSchema.h"
#include "processors/presets/Preset.h"

#include <QList>
#include <QString>

// The user's own presets of one processor type, kept in one file per type under the
// application's data folder.
class PresetLibrary {
public:
    // Reads the type's file at once; a missing file is an empty library. A type without
    // an ID has no file and cannot save.
    PresetLibrary(const QString& typeID, const SchemaPointer& schema);

    // "<data folder>/presets/<type>.json" with the type ID percent-encoded, so that any ID,
    // "Kagura Suzu" or "../x" alike, gives one plain file name of its own.
    static QString pathFor(const QString& typeID);

    const QString& path() const { return m_path; }
    const QList<Preset>& presets() const { return m_presets; }
    // Why the file was refused, empty when it was read. A refused library holds nothing
    // and will not save, so the damaged file stays for the user to look at.
    const QString& loadError() const { return m_loadError; }

    // Writes `presets` and holds them from then on; on failure, or when they would not read
    // back, returns the reason and keeps what it held.
    QString save(const QList<Preset>& presets);

private:
    Outcome<QList<Preset>> read() const;
    Outcome<QList<Preset>> decode(const QByteArray& bytes) const;

    const QString m_typeID;
    const SchemaPointer m_schema;
    const QString m_path;
    QList<Preset> m_presets;
    QString m_loadError;
};
