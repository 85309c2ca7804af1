#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QMimeData;

// The MIME side of the clipboard blocks: each block travels as one byte array under its
// private type in a fresh QMimeData.
namespace clipboard {

std::unique_ptr<QMimeData> wrap(const QString& mimeType, const QByteArray& bytes);
// The bytes under `mimeType`; nothing when there is no data or it lacks the type.
std::optional<QByteArray> unwrap(const QMimeData* data, const QString& mimeType);

// The system clipboard; both do nothing (or return null) without a GUI application.
void place(std::unique_ptr<QMimeData> data);
const QMimeData* current();

} // namespace clipboard
