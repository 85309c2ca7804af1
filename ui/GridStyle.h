#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// How the editors' grids look: their colours over the application palette: the accent marks the
// cursor, a pale version of it the selection, a warm band what plays.
struct GridColours {
    QColor base, beat, text, faint, header, cursorRow, cursor, cursorText, selection, play;

    static GridColours of(const QPalette& palette);
};

// Upper-case hexadecimal, zero-padded to `digits`, as the grids show numbers.
QString hexText(quint32 value, int digits);
