#include "infra/Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace {

struct Swatch {
    QPalette::ColorRole role;
    QColor active;
    QColor disabled;
};

// One row per role: the colour while enabled and while disabled.
const Swatch kSwatches[] = {
    { QPalette::Window, QColor(38, 41, 46), QColor(38, 41, 46) },
    { QPalette::WindowText, QColor(218, 222, 226), QColor(120, 124, 130) },
    { QPalette::Base, QColor(27, 29, 33), QColor(32, 34, 38) },
    { QPalette::AlternateBase, QColor(33, 36, 41), QColor(33, 36, 41) },
    { QPalette::ToolTipBase, QColor(52, 56, 62), QColor(52, 56, 62) },
    { QPalette::ToolTipText, QColor(230, 232, 235), QColor(230, 232, 235) },
    { QPalette::PlaceholderText, QColor(120, 124, 130), QColor(96, 100, 106) },
    { QPalette::Text, QColor(218, 222, 226), QColor(110, 114, 120) },
    { QPalette::Button, QColor(50, 54, 60), QColor(44, 47, 52) },
    { QPalette::ButtonText, QColor(222, 226, 230), QColor(112, 116, 122) },
    { QPalette::BrightText, QColor(255, 120, 110), QColor(255, 120, 110) },
    { QPalette::Light, QColor(70, 75, 82), QColor(60, 64, 70) },
    { QPalette::Midlight, QColor(60, 64, 70), QColor(52, 56, 62) },
    { QPalette::Mid, QColor(44, 47, 52), QColor(44, 47, 52) },
    { QPalette::Dark, QColor(24, 26, 29), QColor(24, 26, 29) },
    { QPalette::Shadow, QColor(12, 13, 15), QColor(12, 13, 15) },
    { QPalette::Highlight, QColor(46, 140, 130), QColor(64, 70, 76) },
    { QPalette::HighlightedText, QColor(245, 248, 248), QColor(160, 164, 170) },
    { QPalette::Link, QColor(86, 196, 184), QColor(110, 140, 136) },
    { QPalette::LinkVisited, QColor(140, 170, 210), QColor(110, 124, 140) },
};

constexpr int kButtonMargin = 8;
constexpr int kButtonPadding = 12;
constexpr int kMinimumButtonWidth = 56;
const QColor kCheckedButton(34, 112, 104);
constexpr int kUiPointSize = 10;

} // namespace

ZarnStyle::ZarnStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

void ZarnStyle::polish(QPalette& palette)
{
    palette = darkPalette();
}

void ZarnStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
    QPainter* painter, const QWidget* widget) const
{
    // Fusion only darkens a checked button a little; toggles and page buttons must show
    // their state at a glance, so they take the accent colour.
    if (element == PE_PanelButtonCommand && option && (option->state & State_On)
        && (option->state & State_Enabled)) {
        QStyleOption accented(*option);
        accented.palette.setColor(QPalette::Button, kCheckedButton);
        QProxyStyle::drawPrimitive(element, &accented, painter, widget);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QSize ZarnStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
    const QSize& contents, const QWidget* widget) const
{
    QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
    // The common style widens every text button to 80 pixels, which makes the tool row
    // wider than a small laptop screen; a button is as wide as its text and some air.
    if (type == CT_PushButton) {
        const int natural
            = contents.width() + 2 * pixelMetric(PM_ButtonMargin, option, widget) + kButtonPadding;
        size.setWidth(std::max(natural, kMinimumButtonWidth));
    }
    return size;
}

int ZarnStyle::pixelMetric(
    PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    // A little more air inside buttons keeps the dense tool row readable.
    if (metric == PM_ButtonMargin)
        return kButtonMargin;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QPalette ZarnStyle::darkPalette()
{
    QPalette palette;
    for (const Swatch& swatch : kSwatches) {
        palette.setColor(QPalette::Active, swatch.role, swatch.active);
        palette.setColor(QPalette::Inactive, swatch.role, swatch.active);
        palette.setColor(QPalette::Disabled, swatch.role, swatch.disabled);
    }
    return palette;
}

QFont ZarnStyle::gridFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({ QStringLiteral("DejaVu Sans Mono"), font.family() });
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(kUiPointSize);
    return font;
}

void ZarnStyle::install(QApplication& application)
{
    QApplication::setStyle(new ZarnStyle); // the application takes ownership
    QApplication::setPalette(darkPalette());
    QFont font = QApplication::font();
    font.setFamilies({ QStringLiteral("DejaVu Sans"), font.family() });
    font.setPointSize(kUiPointSize);
    application.setFont(font);
}
