#pragma once

#include <QFont>
#include <QPalette>
#include <QProxyStyle>

class QApplication;

// The program's look: Fusion's shapes under a dark, calm palette with one teal accent.
class ZarnStyle : public QProxyStyle {
    Q_OBJECT

public:
    ZarnStyle();

    void polish(QPalette& palette) override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
        const QWidget* widget) const override;
    int pixelMetric(
        PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override;

    static QPalette darkPalette();
    // The font of the tracker grids and the position display: fixed pitch, so columns align.
    static QFont gridFont();
    // Installs the style, its palette and the fonts on the whole application.
    static void install(QApplication& application);
};
