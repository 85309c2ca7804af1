#include "song/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

QClipboard* systemClipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
        ? QGuiApplication::clipboard()
        : nullptr;
}

} // namespace

namespace clipboard {

std::unique_ptr<QMimeData> wrap(const QString& mimeType, const QByteArray& bytes)
{
    auto data = std::make_unique<QMimeData>();
    data->setData(mimeType, bytes);
    return data;
}

std::optional<QByteArray> unwrap(const QMimeData* data, const QString& mimeType)
{
    if (!data || !data->hasFormat(mimeType))
        return std::nullopt;
    return data->data(mimeType);
}

void place(std::unique_ptr<QMimeData> data)
{
    if (QClipboard* board = systemClipboard())
        board->setMimeData(data.release()); // the clipboard takes ownership
}

const QMimeData* current()
{
    const QClipboard* board = systemClipboard();
    return board ? board->mimeData() : nullptr;
}

} // namespace clipboard
