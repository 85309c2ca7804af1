#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// The editors' grid colours over the application palette: the accent marks the cursor, a
// pale version of it the selection, a warm band what plays.
struct GridColours {
    QColor base, beat, text, faint, header, cursorRow, cursor, cursorText, selection, play;

    static GridColours of(const QPalette& palette);
};

// Upper-case hexadecimal, zero-padded to `digits`.
QString hexText(quint32 value, int digits);
