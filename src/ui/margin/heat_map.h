// The sweep's map: a row per hysteresis setting, a column per equalization gain, each cell
// coloured from no errors (green) to a counter run full (dark red) and showing the three
// links' errors together. The point being measured has a dashed frame, the recommended one
// a thick blue frame.
#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

#include "margin/sweep.h"

namespace vrq::ui {

class HeatMap : public QWidget {
    Q_OBJECT

  public:
    explicit HeatMap(QWidget* parent = nullptr);

    // What to draw; null for an empty map. The result must outlive the next SetResult.
    void SetResult(const margin::SweepResult* result, std::optional<margin::SweepPoint> current);

    // The colour of a cell with these errors (total of the three links).
    static QColor CellColour(std::uint32_t total, bool atLeast);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int Rows() const;
    const margin::SweepResult* result_ = nullptr;
    std::optional<margin::SweepPoint> current_;
};

}  // namespace vrq::ui
