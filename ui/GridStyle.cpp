#include "ui/GridStyle.h"

GridColours GridColours::of(const QPalette& palette)
{
    const QColor accent = palette.color(QPalette::Highlight);
    return { palette.color(QPalette::Base), palette.color(QPalette::AlternateBase),
        palette.color(QPalette::Text), palette.color(QPalette::PlaceholderText),
        palette.color(QPalette::Window), QColor(255, 255, 255, 14), accent,
        palette.color(QPalette::HighlightedText),
        QColor(accent.red(), accent.green(), accent.blue(), 90), QColor(230, 170, 60, 70) };
}

QString hexText(quint32 value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QChar('0')).toUpper();
}
