#include "ui/scopes/ScopeDrawing.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace scopeDrawing {

namespace {

constexpr int kFirstHue = 75;
constexpr int kHueSpan = 90;
constexpr int kChannelSaturation = 220;
constexpr int kChannelValue = 220;
constexpr double kFloorPower = 1e-20;
constexpr double kRangeDb = 80.0;
constexpr int kMinBar = 4;
constexpr int kGridInset = 2;
constexpr int kMarkerThickness = 2;

// offset + slope × (x − from) of the segment that holds x.
struct Line {
    double offset = 0.0;
    double slope = 0.0;
};

struct Segment {
    double from = 0.0;
    Line red, green, blue;
};

int channelValue(const Line& line, double dx)
{
    return std::clamp(int(line.offset + line.slope * dx), 0, 255);
}

template <size_t N> QColor colourOf(const std::array<Segment, N>& segments, double x)
{
    auto segment = segments.begin();
    while (segment + 1 != segments.end() && x >= (segment + 1)->from)
        ++segment;
    const double dx = x - segment->from;
    return QColor(channelValue(segment->red, dx), channelValue(segment->green, dx),
        channelValue(segment->blue, dx));
}

const std::array<Segment, 4> kSpectrogram { {
    { 0.0, { 0, 0 }, { 0, 0 }, { 0, 720 } },
    { 0.25, { 0, 0 }, { 0, 1020 }, { 180, 300 } },
    { 0.5, { 0, 1020 }, { 255, 0 }, { 255, -1020 } },
    { 0.75, { 255, 0 }, { 255, 0 }, { 0, 1020 } },
} };

const std::array<Segment, 2> kLevel { {
    { 0.0, { 0, 2 * 253 }, { 81, 2 * 139 }, { 0, 0 } },
    { 0.5, { 253, -2 * 5 }, { 220, -2 * 131 }, { 0, 0 } },
} };

int fraction(int length, double value)
{
    return int(length * std::clamp(value, 0.0, 1.0));
}

} // namespace

QColor channelColour(int index, int count)
{
    if (count <= 1)
        return kTrace;
    return QColor::fromHsv(
        kFirstHue + kHueSpan * index / (count - 1), kChannelSaturation, kChannelValue);
}

QColor spectrogramColour(double t)
{
    return colourOf(kSpectrogram, t);
}

double spectrogramLevel(double power)
{
    return std::clamp(
        (10.0 * std::log10(std::max(power, kFloorPower)) + kRangeDb) / kRangeDb, 0.0, 1.0);
}

QColor levelColour(double v)
{
    return colourOf(kLevel, v);
}

GridShape gridShape(int count)
{
    const int columns = std::max(1, int(std::ceil(std::sqrt(double(count)))));
    return { columns, std::max(1, (count + columns - 1) / columns) };
}

QRect channelCell(int index, int count, QSize size, bool grid)
{
    const GridShape shape = grid ? gridShape(count) : GridShape { 1, std::max(count, 1) };
    const int width = size.width() / shape.columns;
    const int height = size.height() / shape.rows;
    return QRect(index % shape.columns * width, index / shape.columns * height, width, height);
}

QRect levelBar(int index, int count, QSize size, bool grid)
{
    if (grid)
        return channelCell(index, count, size, true)
            .adjusted(kGridInset, kGridInset, -kGridInset, -kGridInset);
    const int n = std::max(count, 1);
    if (size.height() >= size.width()) {
        const int width = std::max(kMinBar, size.width() / n);
        return QRect(index * width, 0, width - 1, size.height());
    }
    const int height = std::max(kMinBar, size.height() / n);
    return QRect(0, index * height, size.width(), height - 1);
}

QRect barFill(const QRect& bar, double value)
{
    if (bar.height() >= bar.width()) {
        const int length = fraction(bar.height(), value);
        return QRect(bar.left(), bar.bottom() + 1 - length, bar.width(), length);
    }
    return QRect(bar.left(), bar.top(), fraction(bar.width(), value), bar.height());
}

QRect barMarker(const QRect& bar, double value)
{
    const QRect fill = barFill(bar, value);
    if (bar.height() >= bar.width())
        return QRect(
            bar.left(), std::min(fill.top(), bar.bottom() - 1), bar.width(), kMarkerThickness);
    return QRect(std::max(fill.right() - 1, bar.left()), bar.top(), kMarkerThickness, bar.height());
}

} // namespace scopeDrawing
