// A widget that shows one of the plot library's pictures, redrawn from a model it is handed.
#pragma once

#include <QWidget>

#include <functional>

class QPainter;

namespace vrq::ui {

class PlotView : public QWidget {
    Q_OBJECT

  public:
    using Paint = std::function<void(QPainter&, const QRect&)>;
    PlotView(const QString& name, QSize hint, QWidget* parent = nullptr);
    // What to draw from now on (nothing: a blank area).
    void SetPaint(Paint paint);
    bool Empty() const { return !paint_; }
    QSize sizeHint() const override { return hint_; }
    void SetHint(QSize hint);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Paint paint_;
    QSize hint_;
};

}  // namespace vrq::ui
