#include "ui/margin/plot_view.h"

#include <QPainter>

namespace vrq::ui {

PlotView::PlotView(const QString& name, QSize hint, QWidget* parent)
    : QWidget(parent), hint_(hint) {
    setObjectName(name);
    setMinimumSize(hint / 2);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PlotView::SetPaint(Paint paint) {
    paint_ = std::move(paint);
    update();
}

void PlotView::SetHint(QSize hint) {
    hint_ = hint;
    updateGeometry();
}

void PlotView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (paint_) {
        paint_(painter, rect());
    }
}

}  // namespace vrq::ui
