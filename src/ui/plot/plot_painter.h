// The link-margin plots drawn with QPainter from the engine's plot models (margin/plot_model.h):
// the bathtub, the heat map and the monitor's history, each with its title, axis titles,
// units and legend. One small library (Qt GUI only, no widgets) that the window draws with and
// that writes the report's PNG files, in the window and, loaded on demand, in the command-line
// tool, so that all of them show the same pictures.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <string>

#include "margin/plot_model.h"
#include "margin/report.h"

class QPainter;

namespace vrq::plot {

// Draws into rect with the painter's font as the base size.
void PaintBathtub(QPainter& painter, const QRect& rect, const margin::BathtubModel& model);
void PaintHeatMap(QPainter& painter, const QRect& rect, const margin::HeatMapModel& model);
// quick: thin lines without antialiasing, for a view redrawn every second (several times
// cheaper; the images keep the smooth ones).
void PaintHistory(QPainter& painter, const QRect& rect, const margin::HistoryModel& model,
                  bool quick = false);

// The size each plot reads best at for a base font of fontPixels.
QSize BathtubSize(const margin::BathtubModel& model, int fontPixels);
QSize HeatMapSize(const margin::HeatMapModel& model, int fontPixels);
QSize HistorySize(int fontPixels);

// The plots as images on white, at the size above.
QImage BathtubImage(const margin::BathtubModel& model);
QImage HeatMapImage(const margin::HeatMapModel& model);
QImage HistoryImage(const margin::HistoryModel& model);

// Writes the images as PNG files.
class PngPainter : public margin::PlotPainter {
  public:
    bool SaveBathtub(const margin::BathtubModel& model, const std::string& path) override;
    bool SaveHeatMap(const margin::HeatMapModel& model, const std::string& path) override;
    bool SaveHistory(const margin::HistoryModel& model, const std::string& path) override;
};

}  // namespace vrq::plot
