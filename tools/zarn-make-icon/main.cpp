// zarn-make-icon: writes the application icon as SVG and as PNGs at the hicolor sizes.
// Both come from the one table below, so the vector and the raster icons cannot drift.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Coordinates are on a 256 canvas, the SVG's own units; the PNGs scale them down.
constexpr int kCanvas = 256;
constexpr int kSizes[] = { 16, 24, 32, 48, 64, 128, 256 };

// A filled rounded rectangle; `top` and `bottom` differ for a vertical gradient.
struct Box {
    double x, y, w, h, radius;
    const char* top;
    const char* bottom;
};

// A stroked outline with round ends, in absolute SVG path syntax (M, L and C only).
struct Stroke {
    const char* path;
    double width;
    const char* colour;
};

// The dark tile with a lighter rim that keeps its edge on dark panels, three tracker rows
// of note and value columns with the playing row lit, and the teal waveform underneath.
const Box kBoxes[] = {
    { 16, 16, 224, 224, 48, "#4b5866", "#262d35" },
    { 22, 22, 212, 212, 42, "#2e3842", "#181d23" },
    { 48, 40, 64, 16, 4, "#5d6b78", "#5d6b78" },
    { 128, 40, 80, 16, 4, "#5d6b78", "#5d6b78" },
    { 48, 72, 64, 16, 4, "#d5dee6", "#d5dee6" },
    { 128, 72, 48, 16, 4, "#d5dee6", "#d5dee6" },
    { 48, 104, 64, 16, 4, "#5d6b78", "#5d6b78" },
    { 128, 104, 64, 16, 4, "#5d6b78", "#5d6b78" },
};

// Three half periods of a sine, 26 up and down; each hump's control points sit 4/3 of the
// swing out so the curve peaks at the swing itself.
const Stroke kStrokes[] = {
    { "M 44 176 C 63.6 141.33 80.4 141.33 100 176 C 119.6 210.67 136.4 210.67 156 176 "
      "C 175.6 141.33 192.4 141.33 212 176",
        20, "#3fb6a8" },
};

QColor colourOf(const char* hex)
{
    return QColor(QString::fromLatin1(hex));
}

// Reads the path syntax the table uses. Returns an empty path on anything else, which
// the caller reports.
QPainterPath parsePath(const QString& text)
{
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QPainterPath path;
    std::vector<double> numbers;
    QChar command;
    auto flush = [&]() -> bool {
        if (command == QLatin1Char('M') && numbers.size() == 2)
            path.moveTo(numbers[0], numbers[1]);
        else if (command == QLatin1Char('L') && numbers.size() == 2)
            path.lineTo(numbers[0], numbers[1]);
        else if (command == QLatin1Char('C') && numbers.size() == 6)
            path.cubicTo(numbers[0], numbers[1], numbers[2], numbers[3], numbers[4], numbers[5]);
        else
            return command.isNull() && numbers.empty();
        numbers.clear();
        return true;
    };
    for (const QString& token : tokens) {
        bool isNumber = false;
        const double value = token.toDouble(&isNumber);
        if (isNumber) {
            numbers.push_back(value);
            continue;
        }
        if (!flush())
            return {};
        command = token.at(0);
    }
    if (!flush())
        return {};
    return path;
}

QString svgNumber(double value)
{
    return QString::number(value, 'g', 10);
}

QString svgText()
{
    QString defs;
    QString shapes;
    QTextStream d(&defs);
    QTextStream s(&shapes);
    int gradients = 0;
    for (const Box& box : kBoxes) {
        QString fill = QString::fromLatin1(box.top);
        if (qstrcmp(box.top, box.bottom) != 0) {
            const QString id = QStringLiteral("shade%1").arg(gradients++);
            d << "    <linearGradient id=\"" << id
              << "\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"" << svgNumber(box.y)
              << "\" x2=\"0\" y2=\"" << svgNumber(box.y + box.h) << "\">\n"
              << "      <stop offset=\"0\" stop-color=\"" << box.top << "\"/>\n"
              << "      <stop offset=\"1\" stop-color=\"" << box.bottom << "\"/>\n"
              << "    </linearGradient>\n";
            fill = QStringLiteral("url(#%1)").arg(id);
        }
        s << "  <rect x=\"" << svgNumber(box.x) << "\" y=\"" << svgNumber(box.y) << "\" width=\""
          << svgNumber(box.w) << "\" height=\"" << svgNumber(box.h) << "\" rx=\""
          << svgNumber(box.radius) << "\" fill=\"" << fill << "\"/>\n";
    }
    for (const Stroke& stroke : kStrokes) {
        s << "  <path d=\"" << stroke.path << "\" fill=\"none\" stroke=\"" << stroke.colour
          << "\" stroke-width=\"" << svgNumber(stroke.width)
          << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
    }
    d.flush();
    s.flush();

    QString out;
    QTextStream o(&out);
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<!-- Written by tools/zarn-make-icon; edit the table there, not this file. -->\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kCanvas << "\" height=\""
      << kCanvas << "\" viewBox=\"0 0 " << kCanvas << ' ' << kCanvas << "\">\n";
    if (!defs.isEmpty())
        o << "  <defs>\n" << defs << "  </defs>\n";
    o << shapes << "</svg>\n";
    o.flush();
    return out;
}

// Boxes snap to whole pixels so the rows stay sharp at 24 px, where the lattice falls on
// half pixels; curves keep their exact shape. Edges round away from the centre, so a tile
// and its rim stay symmetric.
double snap(double edge, double scale, int size)
{
    const double centre = size / 2.0;
    const double offset = edge * scale - centre;
    return centre + std::copysign(std::round(std::abs(offset)), offset);
}

QRectF snapped(const Box& box, double scale, int size)
{
    const double left = snap(box.x, scale, size);
    const double top = snap(box.y, scale, size);
    const double right = snap(box.x + box.w, scale, size);
    const double bottom = snap(box.y + box.h, scale, size);
    return QRectF(left, top, right - left, bottom - top);
}

QImage paintIcon(int size)
{
    const double scale = double(size) / kCanvas;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const Box& box : kBoxes) {
        const QRectF rect = snapped(box, scale, size);
        QLinearGradient shade(0, rect.top(), 0, rect.bottom());
        shade.setColorAt(0, colourOf(box.top));
        shade.setColorAt(1, colourOf(box.bottom));
        painter.setBrush(shade);
        const double radius = box.radius * scale;
        painter.drawRoundedRect(rect, radius, radius);
    }
    painter.setBrush(Qt::NoBrush);
    painter.scale(scale, scale);
    for (const Stroke& stroke : kStrokes) {
        QPen pen(colourOf(stroke.colour), stroke.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawPath(parsePath(QString::fromLatin1(stroke.path)));
    }
    painter.end();
    return image;
}

bool writeText(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toUtf8();
    return file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr,
            "usage: zarn-make-icon DIR\n"
            "Writes DIR/zarn.svg and DIR/icons/zarn-<size>.png.\n");
        return 2;
    }
    for (const Stroke& stroke : kStrokes) {
        if (parsePath(QString::fromLatin1(stroke.path)).isEmpty()) {
            std::fprintf(stderr, "zarn-make-icon: cannot read path \"%s\"\n", stroke.path);
            return 1;
        }
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("icons"))) {
        std::fprintf(stderr, "zarn-make-icon: cannot create %s/icons\n", argv[1]);
        return 1;
    }
    const QString svgPath = dir.filePath(QStringLiteral("zarn.svg"));
    if (!writeText(svgPath, svgText())) {
        std::fprintf(stderr, "zarn-make-icon: cannot write %s\n", qPrintable(svgPath));
        return 1;
    }
    std::printf("%s\n", qPrintable(svgPath));
    for (int size : kSizes) {
        const QString pngPath = dir.filePath(QStringLiteral("icons/zarn-%1.png").arg(size));
        if (!paintIcon(size).save(pngPath, "PNG")) {
            std::fprintf(stderr, "zarn-make-icon: cannot write %s\n", qPrintable(pngPath));
            return 1;
        }
        std::printf("%s\n", qPrintable(pngPath));
    }
    return 0;
}
