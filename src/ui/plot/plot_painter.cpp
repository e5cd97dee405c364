#include "ui/plot/plot_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <functional>

namespace vrq::plot {

namespace {

// Colour-blind safe (Okabe and Ito): the same index, the same colour in every plot.
const QColor kPalette[] = {QColor(0, 114, 178),   QColor(230, 159, 0),  QColor(0, 158, 115),
                           QColor(204, 121, 167), QColor(86, 180, 233), QColor(213, 94, 0),
                           QColor(0, 0, 0),       QColor(240, 228, 66)};
const QColor kInk(25, 25, 25);
const QColor kGrid(215, 215, 215);
const QColor kWindow(198, 236, 198);
const QColor kWindowEdge(40, 140, 40);
const QColor kRecommended(20, 60, 200);
const QColor kTarget(170, 0, 0);
const QColor kFull(150, 20, 20);
const QColor kNotMeasured(232, 232, 232);
const QColor kUncounted(170, 170, 170);
const QColor kShort(214, 230, 200);
const QColor kPass(90, 180, 90);
constexpr int kImageFont = 13;

QColor Colour(int index) {
    return kPalette[static_cast<std::size_t>(index) % std::size(kPalette)];
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QFont Scaled(const QFont& base, double factor, bool bold = false) {
    QFont font = base;
    if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(6, static_cast<int>(std::lround(font.pixelSize() * factor))));
    } else {
        font.setPointSizeF(font.pointSizeF() * factor);
    }
    font.setBold(bold);
    return font;
}

QString Decade(double log10) {
    return QStringLiteral("1e%1").arg(static_cast<int>(std::lround(log10)));
}

// The caption above (title, subtitle) and below (footer); the rect left for the plot.
QRect Caption(QPainter& p, const QRect& rect, const margin::PlotCaption& caption) {
    const QFont base = p.font();
    const QFont title = Scaled(base, 1.3, true);
    const QFont small = Scaled(base, 0.95);
    const int lineTitle = QFontMetrics(title).height();
    const int line = QFontMetrics(small).height();
    QRect inner = rect.adjusted(8, 6, -8, -6);
    p.setPen(kInk);
    p.setFont(title);
    p.drawText(QRect(inner.left(), inner.top(), inner.width(), lineTitle),
               Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(title).elidedText(Q(caption.title), Qt::ElideRight, inner.width()));
    p.setFont(small);
    p.drawText(QRect(inner.left(), inner.top() + lineTitle, inner.width(), line),
               Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(small).elidedText(Q(caption.subtitle), Qt::ElideRight, inner.width()));
    inner.setTop(inner.top() + lineTitle + line + 6);
    if (!caption.footer.empty()) {
        QFont bold = Scaled(base, 1.05, true);
        p.setFont(bold);
        const QRect foot(inner.left(), inner.bottom() - 2 * QFontMetrics(bold).height(),
                         inner.width(), 2 * QFontMetrics(bold).height());
        p.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, Q(caption.footer));
        inner.setBottom(foot.top() - 4);
    }
    p.setFont(base);
    return inner;
}

// Maps values to pixels along one axis.
struct Scale {
    double from = 0;
    double to = 1;
    double pixelFrom = 0;
    double pixelTo = 1;
    double operator()(double v) const {
        return pixelFrom + (v - from) / (to - from) * (pixelTo - pixelFrom);
    }
};

void Arrow(QPainter& p, QPointF from, QPointF to) {
    p.drawLine(from, to);
    const double dy = to.y() > from.y() ? -1 : 1;
    p.drawLine(to, to + QPointF(-3, 4 * dy));
    p.drawLine(to, to + QPointF(3, 4 * dy));
}

void Marker(QPainter& p, QPointF at, margin::PlotMark mark, const QColor& colour, double size) {
    p.setPen(QPen(colour, 1.6));
    switch (mark) {
        case margin::PlotMark::Measured:
            p.setBrush(colour);
            p.drawEllipse(at, size / 2, size / 2);
            break;
        case margin::PlotMark::UpperBound:
            p.setBrush(Qt::white);
            p.drawEllipse(at, size / 2, size / 2);
            Arrow(p, at + QPointF(0, size / 2), at + QPointF(0, size * 1.9));
            break;
        case margin::PlotMark::AtLeast: {
            p.setBrush(colour);
            const QPolygonF up{at + QPointF(0, -size * 0.6), at + QPointF(size * 0.55, size * 0.45),
                               at + QPointF(-size * 0.55, size * 0.45)};
            p.drawPolygon(up);
            Arrow(p, at - QPointF(0, size * 0.6), at - QPointF(0, size * 1.9));
            break;
        }
    }
    p.setBrush(Qt::NoBrush);
}

// Legend entries left to right, each a sample drawn by sample and then its text; an entry that
// would pass the right edge starts a new line, so that a narrow plot cuts none short.
class LegendFlow {
  public:
    LegendFlow(QPainter& p, const QRect& area, int lineGap)
        : p_(p),
          area_(area),
          h_(QFontMetrics(p.font()).height()),
          gap_(lineGap),
          x_(area.left()),
          y_(area.top()) {}

    template <class Sample>
    void Add(const QString& text, Sample sample) {
        const int textWidth = QFontMetrics(p_.font()).horizontalAdvance(text);
        const int width = h_ + 4 + textWidth;
        if (x_ > area_.left() && x_ + width > area_.right()) {
            NewLine();
        }
        sample(QRect(x_, y_, h_, h_));
        p_.setPen(kInk);
        p_.drawText(QRect(x_ + h_ + 4, y_, textWidth + 2, h_), Qt::AlignLeft | Qt::AlignVCenter,
                    text);
        x_ += width + 14;
    }
    void NewLine() {
        x_ = area_.left();
        y_ += h_ + gap_;
    }
    // Below the last line.
    int Bottom() const { return y_ + h_; }

  private:
    QPainter& p_;
    QRect area_;
    int h_;
    int gap_;
    int x_;
    int y_;
};

// The y axis: a line per decade, labelled, and its title turned on its side.
void DecadeAxis(QPainter& p, const QRect& plot, const Scale& y, double low, double high,
                const QString& title) {
    const QFontMetrics metrics(p.font());
    for (double d = std::ceil(low); d <= high + 1e-9; d += 1) {
        const double py = y(d);
        p.setPen(QPen(kGrid, 1));
        p.drawLine(QPointF(plot.left(), py), QPointF(plot.right(), py));
        p.setPen(kInk);
        p.drawText(QRect(plot.left() - 54, static_cast<int>(py) - metrics.height() / 2, 48,
                         metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, Decade(d));
    }
    p.save();
    p.translate(plot.left() - 58 - metrics.height() / 2.0, plot.center().y());
    p.rotate(-90);
    p.drawText(QRect(-plot.height() / 2, -metrics.height(), plot.height(), metrics.height() + 2),
               Qt::AlignCenter, title);
    p.restore();
}

void GainAxis(QPainter& p, const QRect& plot, const Scale& x, const QString& title) {
    const QFontMetrics metrics(p.font());
    p.setPen(kInk);
    for (int gain = 0; gain <= 15; ++gain) {
        const double px = x(gain);
        p.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 4));
        p.drawText(QRect(static_cast<int>(px) - 20, plot.bottom() + 5, 40, metrics.height()),
                   Qt::AlignCenter, QStringLiteral("%1").arg(gain, 0, 16).toUpper());
    }
    p.drawText(
        QRect(plot.left(), plot.bottom() + 5 + metrics.height(), plot.width(), metrics.height()),
        Qt::AlignCenter, title);
}

// The legend's height.
int BathtubLegend(QPainter& p, const QRect& area, const margin::BathtubModel& model) {
    LegendFlow legend(p, area, 4);
    const auto& curves =
        model.panels.empty() ? std::vector<margin::PlotCurve>{} : model.panels.front().curves;
    for (const margin::PlotCurve& curve : curves) {
        legend.Add(Q(curve.label), [&](const QRect& r) {
            p.setPen(QPen(Colour(curve.colour), 2));
            p.drawLine(r.left(), r.center().y(), r.right(), r.center().y());
            Marker(p, QPointF(r.center()), margin::PlotMark::Measured, Colour(curve.colour), 6);
        });
    }
    legend.NewLine();
    legend.Add(QStringLiteral("measured, with its interval"), [&](const QRect& r) {
        Marker(p, QPointF(r.center()), margin::PlotMark::Measured, kInk, 7);
    });
    legend.Add(QStringLiteral("no error: upper bound"), [&](const QRect& r) {
        Marker(p, QPointF(r.center().x(), r.top() + 4), margin::PlotMark::UpperBound, kInk, 7);
    });
    legend.Add(QStringLiteral("counter full: at least"), [&](const QRect& r) {
        Marker(p, QPointF(r.center().x(), r.bottom() - 4), margin::PlotMark::AtLeast, kInk, 7);
    });
    legend.Add(QStringLiteral("passing window"), [&](const QRect& r) { p.fillRect(r, kWindow); });
    legend.Add(Q(model.targetText), [&](const QRect& r) {
        p.setPen(QPen(kTarget, 2, Qt::DashLine));
        p.drawLine(r.left(), r.center().y(), r.right(), r.center().y());
    });
    return legend.Bottom() - area.top() + 4;
}

void BathtubPanelPaint(QPainter& p, const QRect& area, const margin::BathtubModel& model,
                       const margin::BathtubPanel& panel, bool last) {
    const QFontMetrics metrics(p.font());
    const int h = metrics.height();
    QRect plot = area.adjusted(76, h + 4, -10, -(last ? 2 * h + 10 : h + 10));
    p.setPen(kInk);
    p.setFont(Scaled(p.font(), 1.0, true));
    p.drawText(QRect(plot.left(), area.top(), plot.width(), h), Qt::AlignLeft | Qt::AlignVCenter,
               Q(panel.title));
    p.setFont(Scaled(p.font(), 1.0, false));
    const Scale x{-0.5, 15.5, static_cast<double>(plot.left()), static_cast<double>(plot.right())};
    const Scale y{model.yLow, model.yHigh, static_cast<double>(plot.bottom()),
                  static_cast<double>(plot.top())};
    if (panel.windowFirst && panel.windowLast) {
        const QRectF shade(QPointF(x(*panel.windowFirst - 0.5), plot.top()),
                           QPointF(x(*panel.windowLast + 0.5), plot.bottom()));
        p.fillRect(shade, kWindow);
        p.setPen(kWindowEdge);
        p.drawText(shade.adjusted(2, 2, -2, 0).toRect(), Qt::AlignHCenter | Qt::AlignTop,
                   QStringLiteral("passing"));
    }
    DecadeAxis(p, plot, y, model.yLow, model.yHigh, QStringLiteral("bit error ratio"));
    p.setPen(QPen(kInk, 1));
    p.drawRect(plot);
    if (last) {
        GainAxis(p, plot, x, Q(model.xTitle));
    } else {
        p.setPen(kInk);
        for (int gain = 0; gain <= 15; ++gain) {
            p.drawText(QRect(static_cast<int>(x(gain)) - 20, plot.bottom() + 3, 40, h),
                       Qt::AlignCenter, QStringLiteral("%1").arg(gain, 0, 16).toUpper());
        }
    }
    // The target.
    p.setPen(QPen(kTarget, 1.5, Qt::DashLine));
    p.drawLine(QPointF(plot.left(), y(model.targetLog10)),
               QPointF(plot.right(), y(model.targetLog10)));
    p.setPen(kTarget);
    p.drawText(QRectF(plot.right() - 160, y(model.targetLog10) - h - 1, 156, h),
               Qt::AlignRight | Qt::AlignBottom, Q(model.targetText));
    // The recommendation and its ties.
    if (panel.recommended) {
        const double px = x(*panel.recommended);
        p.setPen(QPen(kRecommended, 2.5));
        p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
        QFont bold = Scaled(p.font(), 1.0, true);
        p.setFont(bold);
        // Beside the line where it fits, else on the side with more room, kept inside the plot
        // (and shortened, on a plot narrower than the text).
        const QFontMetrics boldMetrics(bold);
        const QString text = boldMetrics.elidedText(Q(panel.recommendedText), Qt::ElideRight,
                                                    std::max(0, plot.width() - 12));
        const int width = boldMetrics.horizontalAdvance(text) + 8;
        double left = px + 6;
        if (left + width > plot.right() && px - plot.left() > plot.right() - px) {
            left = px - 6 - width;
        }
        left =
            std::clamp(left, plot.left() + 2.0,
                       std::max(plot.left() + 2.0, static_cast<double>(plot.right() - width - 2)));
        const QRectF label(left, plot.top() + h + 4, width, h + 2);
        p.fillRect(label, QColor(255, 255, 255, 230));
        p.drawText(label, Qt::AlignCenter, text);
        p.setFont(Scaled(bold, 1.0, false));
        for (const int tie : panel.ties) {
            p.setPen(QPen(kRecommended, 1.5, Qt::DashLine));
            p.drawLine(QPointF(x(tie), plot.top()), QPointF(x(tie), plot.bottom()));
            p.drawText(QRectF(x(tie) - 20, plot.bottom() - h - 2, 40, h), Qt::AlignCenter,
                       QStringLiteral("tie"));
        }
    }
    // The curves: a line through each link's figures, each point marked by its kind.
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(plot.adjusted(-6, -6, 6, 6));
    const std::size_t curves = panel.curves.size();
    for (std::size_t c = 0; c < curves; ++c) {
        const margin::PlotCurve& curve = panel.curves[c];
        const QColor colour = Colour(curve.colour);
        // Side by side within a gain, so that equal figures do not hide each other.
        const double offset =
            (static_cast<double>(c) - (static_cast<double>(curves) - 1) / 2.0) * 0.12;
        QPolygonF line;
        for (const margin::PlotPoint& point : curve.points) {
            line << QPointF(x(point.x + offset), y(std::clamp(point.y, model.yLow, model.yHigh)));
        }
        p.setPen(QPen(colour, 1.5));
        p.drawPolyline(line);
        for (const margin::PlotPoint& point : curve.points) {
            const QPointF at(x(point.x + offset), y(std::clamp(point.y, model.yLow, model.yHigh)));
            if (point.mark == margin::PlotMark::Measured) {
                p.setPen(QPen(colour, 1.2));
                const double top = y(std::clamp(point.high, model.yLow, model.yHigh));
                const double bottom = y(std::clamp(point.low, model.yLow, model.yHigh));
                p.drawLine(QPointF(at.x(), top), QPointF(at.x(), bottom));
                p.drawLine(QPointF(at.x() - 3, top), QPointF(at.x() + 3, top));
                p.drawLine(QPointF(at.x() - 3, bottom), QPointF(at.x() + 3, bottom));
            }
            Marker(p, at, point.mark, colour, 7);
        }
    }
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
}

// The colour of a failing figure: yellow at the target to red near the top of the scale.
QColor FailColour(double log10, double target, double top) {
    const double t = std::clamp((log10 - target) / std::max(1.0, top - target), 0.0, 1.0);
    return QColor::fromHsvF(static_cast<float>((1.0 - t) * 55.0 / 360.0), 0.85F, 0.97F);
}

QColor CellColour(const margin::HeatCell& cell, const margin::HeatMapModel& model) {
    switch (cell.kind) {
        case margin::HeatCell::Kind::Pass:
            return kPass;
        case margin::HeatCell::Kind::Short:
            return kShort;
        case margin::HeatCell::Kind::Fail:
            return FailColour(cell.log10, model.targetLog10, model.scaleHigh);
        case margin::HeatCell::Kind::AtLeast:
            return kFull;
        case margin::HeatCell::Kind::Uncounted:
            return kUncounted;
        case margin::HeatCell::Kind::NotMeasured:
            break;
    }
    return kNotMeasured;
}

struct MapGeometry {
    int cellWidth = 0;
    int cellHeight = 0;
    int rowHeader = 0;
};

MapGeometry MapCells(const QFontMetrics& metrics) {
    return {metrics.horizontalAdvance(QStringLiteral(">3e-05")) + 10, metrics.height() * 2 + 4,
            metrics.horizontalAdvance(QStringLiteral("20 mV")) + 14};
}

}  // namespace

QSize BathtubSize(const margin::BathtubModel& model, int fontPixels) {
    const int h = fontPixels * 4 / 3;
    const int panels = static_cast<int>(std::max<std::size_t>(1, model.panels.size()));
    return {fontPixels * 72, 7 * h + panels * (h * 15) + 2 * h + 20};
}

QSize HeatMapSize(const margin::HeatMapModel& model, int fontPixels) {
    QFont font;
    font.setPixelSize(fontPixels);
    const QFontMetrics metrics(font);
    const MapGeometry g = MapCells(metrics);
    const int rows = static_cast<int>(std::max<std::size_t>(1, model.rows.size()));
    const int h = metrics.height();
    return {std::max(g.rowHeader + 16 * g.cellWidth + 40, fontPixels * 60),
            8 * h + rows * g.cellHeight + 2 * h + 6 * h + 30};
}

QSize HistorySize(int fontPixels) {
    return {fontPixels * 72, fontPixels * 34};
}

void PaintBathtub(QPainter& p, const QRect& rect, const margin::BathtubModel& model) {
    p.save();
    QRect inner = Caption(p, rect, model.caption);
    const int legend = BathtubLegend(p, inner, model);
    inner.setTop(inner.top() + legend + 4);
    const int panels = static_cast<int>(std::max<std::size_t>(1, model.panels.size()));
    const int each = inner.height() / panels;
    for (int i = 0; i < static_cast<int>(model.panels.size()); ++i) {
        BathtubPanelPaint(p, QRect(inner.left(), inner.top() + i * each, inner.width(), each),
                          model, model.panels[static_cast<std::size_t>(i)], i + 1 == panels);
    }
    p.restore();
}

void PaintHeatMap(QPainter& p, const QRect& rect, const margin::HeatMapModel& model) {
    p.save();
    QRect inner = Caption(p, rect, model.caption);
    const QFontMetrics metrics(p.font());
    const int h = metrics.height();
    const MapGeometry g = MapCells(metrics);
    // The rows' title on a line of its own above the map; the row names, then the cells.
    p.setPen(kInk);
    p.drawText(QRect(inner.left(), inner.top(), inner.width(), h), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("rows: ") + Q(model.yTitle));
    const int left = inner.left() + g.rowHeader;
    const int top = inner.top() + 2 * h + 4;  // the gains above
    const int rows = static_cast<int>(model.rows.size());
    for (int gain = 0; gain < 16; ++gain) {
        p.drawText(QRect(left + gain * g.cellWidth, inner.top() + h + 2, g.cellWidth, h),
                   Qt::AlignCenter, QStringLiteral("0x") + QString::number(gain, 16).toUpper());
    }
    const QRect map(left, top, 16 * g.cellWidth, rows * g.cellHeight);
    p.drawText(QRect(map.left(), map.bottom() + 4, map.width(), h), Qt::AlignCenter,
               QStringLiteral("columns: ") + Q(model.xTitle));
    for (int r = 0; r < rows; ++r) {
        const margin::HeatRow& row = model.rows[static_cast<std::size_t>(r)];
        const int y = top + r * g.cellHeight;
        p.setPen(kInk);
        p.drawText(QRect(left - g.rowHeader, y, g.rowHeader - 6, g.cellHeight),
                   Qt::AlignRight | Qt::AlignVCenter, Q(row.label));
        for (int gain = 0; gain < static_cast<int>(row.cells.size()); ++gain) {
            const margin::HeatCell& cell = row.cells[static_cast<std::size_t>(gain)];
            const QRect box(left + gain * g.cellWidth, y, g.cellWidth, g.cellHeight);
            const QColor colour = CellColour(cell, model);
            p.fillRect(box, colour);
            if (cell.kind == margin::HeatCell::Kind::Uncounted) {
                p.fillRect(box, QBrush(Qt::white, Qt::BDiagPattern));
            }
            p.setPen(colour.lightness() < 120 ? Qt::white : kInk);
            p.drawText(box, Qt::AlignCenter, Q(cell.text));
            p.setPen(QPen(Qt::white, 1));
            p.drawRect(box.adjusted(0, 0, -1, -1));
        }
        if (row.windowFirst && row.windowLast) {
            p.setPen(QPen(kWindowEdge, 3));
            p.drawRect(QRect(left + *row.windowFirst * g.cellWidth, y + 1,
                             (*row.windowLast - *row.windowFirst + 1) * g.cellWidth - 1,
                             g.cellHeight - 3));
        }
    }
    auto frame = [&](const std::pair<int, int>& at, const QPen& pen, int inset) {
        p.setPen(pen);
        p.drawRect(QRect(left + at.second * g.cellWidth + inset,
                         top + at.first * g.cellHeight + inset, g.cellWidth - 2 * inset - 1,
                         g.cellHeight - 2 * inset - 1));
    };
    for (const auto& tie : model.ties) {
        frame(tie, QPen(kRecommended, 2, Qt::DashLine), 4);
    }
    if (model.recommended) {
        frame(*model.recommended, QPen(kRecommended, 4), 4);
    }
    if (model.measuring) {
        frame(*model.measuring, QPen(kInk, 2, Qt::DashLine), 3);
    }
    // The legend: the colour scale of failing points, then what else a cell or frame means.
    int y = map.bottom() + h + 10;
    const int barWidth = std::min(map.width() / 2, 16 * h);
    const QRect bar(left, y, barWidth, h);
    for (int i = 0; i < bar.width(); ++i) {
        const double log10 =
            model.targetLog10 + (model.scaleHigh - model.targetLog10) * i / bar.width();
        p.fillRect(QRect(bar.left() + i, bar.top(), 1, bar.height()),
                   FailColour(log10, model.targetLog10, model.scaleHigh));
    }
    p.setPen(kInk);
    p.drawRect(bar.adjusted(0, 0, -1, -1));
    p.drawText(
        QRect(bar.right() + 8, y, map.width() - barWidth - 8, h), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("failed: worst link's bit error ratio, from the target %1 to %2 and above")
            .arg(QString::number(std::pow(10.0, model.targetLog10), 'e', 1),
                 Decade(model.scaleHigh)));
    y += h + 6;
    LegendFlow legend(p, QRect(left, y, inner.right() - left, h), 6);
    const std::pair<QColor, QString> swatches[] = {
        {kPass, QStringLiteral("passed: bound below target")},
        {kShort, QStringLiteral("no error, too short to pass")},
        {kFull, QStringLiteral("counter full: at least")},
        {kUncounted, QStringLiteral("not counted")},
        {kNotMeasured, QStringLiteral("not measured")}};
    for (const auto& [colour, text] : swatches) {
        legend.Add(text, [&](const QRect& r) {
            p.fillRect(r, colour);
            p.setPen(kGrid);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        });
    }
    legend.NewLine();
    legend.Add(QStringLiteral("passing window"), [&](const QRect& r) {
        p.setPen(QPen(kWindowEdge, 3));
        p.drawRect(r.adjusted(1, 1, -2, -2));
    });
    legend.Add(QStringLiteral("recommended"), [&](const QRect& r) {
        p.setPen(QPen(kRecommended, 3));
        p.drawRect(r.adjusted(1, 1, -2, -2));
    });
    legend.Add(QStringLiteral("as good (tie)"), [&](const QRect& r) {
        p.setPen(QPen(kRecommended, 2, Qt::DashLine));
        p.drawRect(r.adjusted(1, 1, -2, -2));
    });
    legend.Add(QStringLiteral("cell text: ok pass, * measured twice, < bound, > floor"),
               [](const QRect&) {});
    y = legend.Bottom() - h;
    if (!model.tieText.empty()) {
        y += h + 6;
        p.setPen(kRecommended);
        p.drawText(QRect(left, y, inner.right() - left, 2 * h), Qt::AlignLeft | Qt::TextWordWrap,
                   Q(model.tieText));
    }
    p.restore();
}

void PaintHistory(QPainter& p, const QRect& rect, const margin::HistoryModel& model, bool quick) {
    p.save();
    QRect inner = Caption(p, rect, model.caption);
    const QFontMetrics metrics(p.font());
    const int h = metrics.height();
    // The legend on top.
    LegendFlow legend(p, inner, 4);
    for (const margin::PlotCurve& link : model.links) {
        legend.Add(Q(link.label), [&](const QRect& r) {
            p.setPen(QPen(Colour(link.colour), 2));
            p.drawLine(r.left(), r.center().y(), r.right(), r.center().y());
        });
    }
    legend.Add(QStringLiteral("counter full: at least"), [&](const QRect& r) {
        Marker(p, QPointF(r.center().x(), r.bottom() - 4), margin::PlotMark::AtLeast, kFull, 7);
    });
    legend.Add(QStringLiteral("setting changed"), [&](const QRect& r) {
        p.setPen(QPen(kRecommended, 1.5, Qt::DashLine));
        p.drawLine(r.center().x(), r.top(), r.center().x(), r.bottom());
    });
    legend.Add(QStringLiteral("not counted"),
               [&](const QRect& r) { p.fillRect(r, QColor(200, 200, 200, 160)); });
    QRect plot = inner.adjusted(76, legend.Bottom() - inner.top() + 10, -10, -(2 * h + 10));
    // Readings of no error sit on a band of their own below the decades (a log axis has no 0).
    const int zeroBand = h + 6;
    const QRect decades = plot.adjusted(0, 0, 0, -zeroBand);
    const Scale xs{model.tFirst, model.tLast, static_cast<double>(plot.left()),
                   static_cast<double>(plot.right())};
    const Scale ys{0.0, model.yHigh, static_cast<double>(decades.bottom()),
                   static_cast<double>(decades.top())};
    for (const auto& [from, to] : model.uncounted) {
        p.fillRect(QRectF(QPointF(xs(from), plot.top()), QPointF(xs(to), plot.bottom())),
                   QColor(200, 200, 200, 160));
    }
    DecadeAxis(p, decades, ys, 0, model.yHigh, QStringLiteral("errors per second"));
    p.setPen(kInk);
    p.drawText(QRect(plot.left() - 54, decades.bottom() + 2, 48, zeroBand),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    p.setPen(QPen(kGrid, 1, Qt::DotLine));
    p.drawLine(plot.left(), decades.bottom() + zeroBand / 2, plot.right(),
               decades.bottom() + zeroBand / 2);
    p.setPen(QPen(kInk, 1));
    p.drawRect(plot);
    // Time along the bottom: round steps.
    const double span = std::max(1e-3, model.tLast - model.tFirst);
    double step = std::pow(10.0, std::floor(std::log10(span / 6.0)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (span / (step * m) <= 8) {
            step *= m;
            break;
        }
    }
    for (double t = std::ceil(model.tFirst / step) * step; t <= model.tLast + 1e-9; t += step) {
        const double px = xs(t);
        p.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 4));
        p.drawText(QRect(static_cast<int>(px) - 40, plot.bottom() + 5, 80, h), Qt::AlignCenter,
                   QString::number(t, 'g', 6));
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 5 + h, plot.width(), h), Qt::AlignCenter,
               QStringLiteral("time since the start (s)"));
    for (const margin::HistoryMarker& marker : model.markers) {
        const double px = xs(marker.t);
        switch (marker.kind) {
            case margin::HistoryMarker::Kind::SettingChanged:
                p.setPen(QPen(kRecommended, 1.5, Qt::DashLine));
                p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
                p.setPen(kRecommended);
                p.drawText(QRectF(px + 3, plot.top() + 2, 260, h), Qt::AlignLeft | Qt::AlignVCenter,
                           Q(marker.text));
                break;
            case margin::HistoryMarker::Kind::CounterFull:
                p.setPen(QPen(kFull, 2));
                p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.top() + 8));
                break;
            case margin::HistoryMarker::Kind::NotCounted:
                p.setPen(QColor(90, 90, 90));
                p.drawText(QRectF(px + 3, plot.top() + h + 4, 300, h),
                           Qt::AlignLeft | Qt::AlignVCenter, Q(marker.text));
                break;
        }
    }
    p.setRenderHint(QPainter::Antialiasing, !quick);
    p.setClipRect(plot);
    for (std::size_t link = 0; link < model.links.size(); ++link) {
        const margin::PlotCurve& curve = model.links[link];
        const QColor colour = Colour(curve.colour);
        QPolygonF line;
        for (const margin::PlotPoint& point : curve.points) {
            line << QPointF(xs(point.x), ys(point.y));
        }
        p.setPen(quick ? QPen(colour, 0) : QPen(colour, 1.5));
        p.drawPolyline(line);
        for (const margin::PlotPoint& point : curve.points) {
            if (point.mark == margin::PlotMark::AtLeast) {
                Marker(p, QPointF(xs(point.x), ys(point.y)), margin::PlotMark::AtLeast, kFull, 7);
            }
        }
        if (link < model.zeros.size()) {
            p.setPen(QPen(colour, 2));
            const double zy =
                decades.bottom() + zeroBand / 2.0 + (static_cast<double>(link) - 1) * 3;
            for (const double t : model.zeros[link]) {
                p.drawPoint(QPointF(xs(t), zy));
            }
        }
    }
    p.restore();
}

namespace {

QImage Render(QSize size, const std::function<void(QPainter&, const QRect&)>& paint) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(kImageFont);
    painter.setFont(font);
    paint(painter, image.rect());
    return image;
}

}  // namespace

QImage BathtubImage(const margin::BathtubModel& model) {
    return Render(BathtubSize(model, kImageFont),
                  [&](QPainter& p, const QRect& r) { PaintBathtub(p, r, model); });
}

QImage HeatMapImage(const margin::HeatMapModel& model) {
    return Render(HeatMapSize(model, kImageFont),
                  [&](QPainter& p, const QRect& r) { PaintHeatMap(p, r, model); });
}

QImage HistoryImage(const margin::HistoryModel& model) {
    return Render(HistorySize(kImageFont),
                  [&](QPainter& p, const QRect& r) { PaintHistory(p, r, model); });
}

bool PngPainter::SaveBathtub(const margin::BathtubModel& model, const std::string& path) {
    return BathtubImage(model).save(QString::fromStdString(path), "PNG");
}

bool PngPainter::SaveHeatMap(const margin::HeatMapModel& model, const std::string& path) {
    return HeatMapImage(model).save(QString::fromStdString(path), "PNG");
}

bool PngPainter::SaveHistory(const margin::HistoryModel& model, const std::string& path) {
    return HistoryImage(model).save(QString::fromStdString(path), "PNG");
}

}  // namespace vrq::plot
