#include "ui/margin/heat_map.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vrq::ui {

namespace {

constexpr int kColumns = device::kMaxGain + 1;
constexpr int kCellWidth = 42;
constexpr int kCellHeight = 30;
constexpr int kRowHeader = 56;     // the hysteresis names
constexpr int kColumnHeader = 20;  // the gains
// Three full counters: where the colour scale ends.
constexpr double kScaleTop = 3.0 * device::kCounterFull;

std::vector<device::Hysteresis> RowsOf(const margin::SweepResult* result) {
    std::vector<device::Hysteresis> rows;
    if (result != nullptr) {
        for (const margin::SweepPoint& point : result->plan) {
            if (std::find(rows.begin(), rows.end(), point.hysteresis) == rows.end()) {
                rows.push_back(point.hysteresis);
            }
        }
    }
    if (rows.empty()) {
        rows.push_back(device::Hysteresis::Off);
    }
    return rows;
}

}  // namespace

HeatMap::HeatMap(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("mapSweep"));
}

void HeatMap::SetResult(const margin::SweepResult* result,
                        std::optional<margin::SweepPoint> current) {
    result_ = result;
    current_ = current;
    updateGeometry();
    update();
}

int HeatMap::Rows() const {
    return static_cast<int>(RowsOf(result_).size());
}

QSize HeatMap::sizeHint() const {
    return {kRowHeader + kColumns * kCellWidth + 2, kColumnHeader + Rows() * kCellHeight + 2};
}

QColor HeatMap::CellColour(std::uint32_t total, bool atLeast) {
    if (atLeast) {
        return QColor(150, 20, 20);
    }
    if (total == 0) {
        return QColor(90, 180, 90);
    }
    // Yellow for a single error to red near three full counters, on a log scale.
    const double t = std::min(1.0, std::log1p(total) / std::log1p(kScaleTop));
    return QColor::fromHsvF(static_cast<float>((1.0 - t) * 55.0 / 360.0), 0.85F, 0.95F);
}

void HeatMap::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const std::vector<device::Hysteresis> rows = RowsOf(result_);
    painter.setPen(palette().windowText().color());
    painter.drawText(QRect(0, 0, kRowHeader - 4, kColumnHeader), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("gain"));
    for (int gain = 0; gain < kColumns; ++gain) {
        const QRect header(kRowHeader + gain * kCellWidth, 0, kCellWidth, kColumnHeader);
        painter.drawText(header, Qt::AlignCenter, QStringLiteral("%1").arg(gain, 0, 16).toUpper());
    }
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const int top = kColumnHeader + static_cast<int>(row) * kCellHeight;
        painter.setPen(palette().windowText().color());
        painter.drawText(QRect(0, top, kRowHeader - 4, kCellHeight),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromUtf8(device::HysteresisText(rows[row]).data()));
        for (int gain = 0; gain < kColumns; ++gain) {
            const margin::SweepPoint at{static_cast<std::uint8_t>(gain), rows[row]};
            const QRect cell(kRowHeader + gain * kCellWidth, top, kCellWidth, kCellHeight);
            const margin::PointResult* found = nullptr;
            if (result_ != nullptr) {
                for (const auto& point : result_->points) {
                    if (point.point == at) {
                        found = &point;
                    }
                }
            }
            painter.setPen(Qt::NoPen);
            if (found != nullptr) {
                // A point that did not pass is never green, errors or not.
                const auto shown = static_cast<std::uint32_t>(
                    found->Passed() ? 0 : std::max<std::uint64_t>(1, found->Total()));
                const QColor colour = CellColour(shown, found->AnyAtLeast());
                painter.fillRect(cell, colour);
                painter.setPen(colour.lightness() < 110 ? Qt::white : Qt::black);
                const QString text =
                    QString::number(found->Total()) + (found->AnyAtLeast() ? "+" : "");
                painter.drawText(cell, Qt::AlignCenter, text);
            } else {
                painter.fillRect(cell, palette().base().color().darker(108));
            }
            painter.setPen(QPen(palette().window().color(), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(cell.adjusted(0, 0, -1, -1));
            if (current_ && *current_ == at) {
                painter.setPen(QPen(palette().windowText().color(), 2, Qt::DashLine));
                painter.drawRect(cell.adjusted(1, 1, -2, -2));
            }
            if (result_ != nullptr && result_->recommendation &&
                result_->recommendation->point == at) {
                painter.setPen(QPen(QColor(20, 60, 200), 3));
                painter.drawRect(cell.adjusted(1, 1, -2, -2));
            }
        }
    }
}

}  // namespace vrq::ui
