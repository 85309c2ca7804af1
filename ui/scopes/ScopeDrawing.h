#pragma once

#include <QColor>
#include <QRect>
#include <QSize>

// The scope's colours and geometry, free of any widget state.
namespace scopeDrawing {

inline const QColor kBackground { 0, 0, 0 };
inline const QColor kTrace { 0, 220, 0 };

// Channel i of n: the trace colour alone, otherwise hues from 75 to 165.
QColor channelColour(int index, int count);

// Heat colour of a spectrogram level t in 0..1: black, blue, cyan, yellow, white.
QColor spectrogramColour(double t);
// A bin's power on the spectrogram's 80 dB scale, 0..1.
double spectrogramLevel(double power);
// Meter colour of a level v (full scale 1): green through yellow to red.
QColor levelColour(double v);

// Columns and rows of the grid layout for n channels.
struct GridShape {
    int columns = 1;
    int rows = 1;
};
GridShape gridShape(int count);
// Channel i's cell in an area of `size`: a grid cell, or a full-width band when stacked.
QRect channelCell(int index, int count, QSize size, bool grid);
// Channel i's meter bar: side by side when the area is at least as tall as wide, else stacked.
QRect levelBar(int index, int count, QSize size, bool grid);
// The part of a bar that shows `value`, growing from the bottom or from the left.
QRect barFill(const QRect& bar, double value);
// A 2-pixel line across the bar at `value`.
QRect barMarker(const QRect& bar, double value);

} // namespace scopeDrawing
