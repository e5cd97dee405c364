// The plot library draws what its model says and nothing more: a passing window only where the
// model has one, and any model, however empty (a run cancelled before its first point), draws
// without failing at its own size.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <optional>
#include <string>
#include <vector>

#include "margin/plot_model.h"
#include "ui/plot/plot_painter.h"

namespace vrq::test {
namespace {

// The passing window's shade, as the painter fills it.
const QColor kWindowShade(198, 236, 198);
const QColor kWindowEdge(40, 140, 40);  // the heat map's frame around it

int Pixels(const QImage& image, const QColor& colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

enum class Shape { Passing, NonePassed, Empty };

margin::BathtubModel Bathtub(Shape shape) {
    margin::BathtubModel model;
    model.caption = {"Channel A", "target 1.0e-09", ""};
    model.xTitle = margin::GainAxisTitle(0);
    margin::BathtubPanel panel;
    panel.title = "hysteresis off";
    if (shape != Shape::Empty) {
        for (int link = 0; link < 3; ++link) {
            margin::PlotCurve curve{"link " + std::to_string(link), link, {}};
            for (int gain = 0; gain < 16; ++gain) {
                const bool passes = shape == Shape::Passing && gain >= 4 && gain <= 8;
                const double y = passes ? -9.0 : -5.0;
                curve.points.push_back(
                    {static_cast<double>(gain), y, y - 0.3, y + 0.3,
                     passes ? margin::PlotMark::UpperBound : margin::PlotMark::AtLeast});
            }
            panel.curves.push_back(curve);
        }
    }
    if (shape == Shape::Passing) {
        panel.windowFirst = 4;
        panel.windowLast = 8;
        panel.recommended = 6;
        panel.recommendedText = "0x6: margin 3 below, 3 above";
    }
    model.panels.push_back(panel);
    return model;
}

margin::HeatMapModel HeatMap(Shape shape) {
    margin::HeatMapModel model;
    model.caption = {"Channel A", "target 1.0e-09", ""};
    model.xTitle = "receive equalization gain, 0x07 bits 3:0";
    model.yTitle = "input hysteresis, 0x03 bits 6:5";
    margin::HeatRow row;
    row.label = "off";
    for (int gain = 0; gain < 16; ++gain) {
        margin::HeatCell cell;
        if (shape != Shape::Empty) {
            const bool passes = shape == Shape::Passing && gain >= 4 && gain <= 8;
            cell.kind = passes ? margin::HeatCell::Kind::Pass : margin::HeatCell::Kind::AtLeast;
            cell.log10 = passes ? -9.5 : -4.0;
            cell.text = passes ? "ok" : ">1e-4";
        }
        row.cells.push_back(cell);
    }
    if (shape == Shape::Passing) {
        row.windowFirst = 4;
        row.windowLast = 8;
        model.recommended = std::make_pair(0, 6);
    }
    model.rows.push_back(row);
    return model;
}

// The legends show the window's swatches whatever the run found; beyond them, a run with no
// passing setting shades and frames nothing, and one with a window does.
TEST(PlotPainter, DrawsAWindowOnlyWhereTheModelHasOne) {
    struct Drawn {
        int shaded;
        int framed;
    };
    auto draw = [](Shape shape) {
        const QImage bathtub = plot::BathtubImage(Bathtub(shape));
        const QImage map = plot::HeatMapImage(HeatMap(shape));
        EXPECT_FALSE(bathtub.isNull());
        EXPECT_FALSE(map.isNull());
        return Drawn{Pixels(bathtub, kWindowShade), Pixels(map, kWindowEdge)};
    };
    const Drawn passing = draw(Shape::Passing);
    const Drawn nonePassed = draw(Shape::NonePassed);
    const Drawn empty = draw(Shape::Empty);  // cancelled before its first point
    EXPECT_EQ(nonePassed.shaded, empty.shaded) << "the legend's swatch only";
    EXPECT_EQ(nonePassed.framed, empty.framed) << "the legend's swatch only";
    EXPECT_GT(passing.shaded, nonePassed.shaded + 1000);
    EXPECT_GT(passing.framed, nonePassed.framed + 100);

    // The monitor's history draws from an empty model too.
    margin::HistoryModel history;
    history.links.resize(3);
    history.zeros.resize(3);
    EXPECT_FALSE(plot::HistoryImage(history).isNull());
}

// A plot narrower than its legend or its recommendation's label (a small window) draws all of
// it inside its rectangle: legends go on to a new line, the label stays within the plot. (The
// heat map keeps its cells' size; the window draws it smaller instead.)
class NarrowPlot : public ::testing::TestWithParam<int> {};

TEST_P(NarrowPlot, DrawsNothingOutsideItsRectangle) {
    margin::BathtubModel bathtub = Bathtub(Shape::Passing);
    bathtub.panels.front().recommended = GetParam();
    bathtub.panels.front().recommendedText = "recommended 0x6, margin 3 below, 3 above";
    bathtub.targetText = "target 1.0e-09";
    margin::HistoryModel history;
    history.links = {{"link 0", 0, {}}, {"link 1", 1, {}}, {"link 2", 2, {}}};
    history.zeros.resize(3);
    const QRect rect(150, 0, 420, 500);
    const auto outside = [&rect](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += !rect.contains(x, y) && image.pixelColor(x, y) != Qt::white ? 1 : 0;
            }
        }
        return count;
    };
    const auto blank = [&rect] {
        QImage image(rect.right() + 150, rect.bottom() + 1, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    };
    QImage drawn = blank();
    {
        QPainter painter(&drawn);
        plot::PaintBathtub(painter, rect, bathtub);
    }
    EXPECT_EQ(outside(drawn), 0) << "bathtub";
    drawn = blank();
    {
        QPainter painter(&drawn);
        plot::PaintHistory(painter, rect, history, false);
    }
    EXPECT_EQ(outside(drawn), 0) << "history";
}

INSTANTIATE_TEST_SUITE_P(RecommendedGains, NarrowPlot, ::testing::Values(0, 6, 15));

}  // namespace
}  // namespace vrq::test
