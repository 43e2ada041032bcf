#include "app/qt/FitCaptions.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace quillmoor::app {

namespace {

constexpr double kSmallestPoints = 7.0;
constexpr double kReferenceDpi = 96.0;
constexpr int kButtonPadding = 4;

int WidestLine(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

bool AllFit(const QWidget* window) {
    for (const QWidget* control : window->findChildren<QWidget*>())
        if (!control->testAttribute(Qt::WA_SetFont) && !CaptionFits(control))
            return false;
    return true;
}

} // namespace

bool CaptionFits(const QWidget* control) {
    const QFontMetrics metrics = control->fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (label->text().isEmpty())
            return true;
        const auto lines = label->text().count(QLatin1Char('\n')) + 1;
        const int margin = 2 * (label->margin() + label->frameWidth());
        return WidestLine(metrics, label->text()) + margin <= label->width() &&
               metrics.height() * lines + margin <= label->height();
    }
    if (const auto* check = qobject_cast<const QCheckBox*>(control))
        return check->sizeHint().width() <= check->width();
    if (const auto* button = qobject_cast<const QPushButton*>(control))
        return WidestLine(metrics, button->text()) + kButtonPadding <= button->width();
    return true;
}

void FitCaptions(QWidget* window, double layoutScale) {
    // The floor grows with the layout; points already follow the DPI.
    const double smallest = kSmallestPoints * layoutScale * kReferenceDpi / window->logicalDpiY();
    QFont font = window->font();
    if (font.pointSizeF() <= 0) // a font set in pixels is stepped in points here
        font.setPointSizeF(font.pixelSize() * 72.0 / window->logicalDpiY());
    while (!AllFit(window) && font.pointSizeF() - 0.5 >= smallest) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        window->setFont(font);
    }
}

} // namespace quillmoor::app
