#include "ui/common/frame_box.h"

#include <QPainter>

namespace vrq::ui {

namespace {
constexpr int kCaptionLeft = 6;  // where the caption starts on the top line
constexpr int kCaptionGap = 2;   // blank on either side of it
}  // namespace

void FrameBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int lineY = metrics.height() / 2;
    const int right = width() - 2;
    const int bottom = height() - 2;
    const int gapLeft = kCaptionLeft - kCaptionGap;
    const int gapRight = title().isEmpty()
                             ? gapLeft
                             : kCaptionLeft + metrics.horizontalAdvance(title()) + kCaptionGap;

    // An etched line: the dark one, and the light one a pixel below and right of it.
    const auto outline = [&](const QColor& color, int shift) {
        painter.setPen(color);
        const int top = lineY + shift;
        painter.drawLine(shift, top, gapLeft, top);
        painter.drawLine(gapRight, top, right + shift, top);
        painter.drawLine(shift, top, shift, bottom + shift);
        painter.drawLine(shift, bottom + shift, right + shift, bottom + shift);
        painter.drawLine(right + shift, top, right + shift, bottom + shift);
    };
    outline(palette().color(QPalette::Light), 1);
    outline(palette().color(QPalette::Mid), 0);

    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(kCaptionLeft, 0, width() - kCaptionLeft, metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title());
}

}  // namespace vrq::ui
