#include "app/qt/LayoutScale.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace quillmoor::app {

namespace {

constexpr double kPointsPerInch = 72.0;

int Scaled(int edge, double scale) { return static_cast<int>(std::lround(edge * scale)); }

} // namespace

double LayoutScale(const QFont& font, double logicalDpi) {
    double pixels = 0;
    if (font.pointSizeF() > 0)
        pixels = font.pointSizeF() * logicalDpi / kPointsPerInch;
    else if (font.pixelSize() > 0)
        pixels = font.pixelSize();
    return std::max(1.0, pixels / kReferenceFontPixels);
}

QRect ScaledRect(const QRect& drawn, double scale) {
    const int left = Scaled(drawn.x(), scale);
    const int top = Scaled(drawn.y(), scale);
    return {left, top, Scaled(drawn.x() + drawn.width(), scale) - left,
            Scaled(drawn.y() + drawn.height(), scale) - top};
}

QSize ScaledSize(const QSize& drawn, double scale) {
    return {Scaled(drawn.width(), scale), Scaled(drawn.height(), scale)};
}

void ScaleLayout(QWidget* window, double scale) {
    if (scale == 1.0)
        return;
    window->setFixedSize(ScaledSize(window->size(), scale));
    for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!control->isWindow())
            control->setGeometry(ScaledRect(control->geometry(), scale));
}

double LayoutScaleFor(const QWidget* widget) {
    return LayoutScale(QApplication::font(), widget->logicalDpiY());
}

} // namespace quillmoor::app
