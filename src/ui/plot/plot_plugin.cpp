// The plots for a program without windows (the command-line tool): it loads this library with
// dlopen only when it writes a report, so that the commands that draw nothing never pay for
// starting Qt. Same code as the window's plots; the painter it makes owns a Qt application on
// the offscreen platform (fonts, no display) for as long as it lives.
#include <QGuiApplication>

#include <memory>

#include "ui/plot/plot_painter.h"

namespace {

class OffscreenPainter : public vrq::plot::PngPainter {
  public:
    OffscreenPainter() {
        if (QCoreApplication::instance() == nullptr) {
            app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        }
    }

  private:
    int argc_ = 3;
    char program_[14] = "vrq66208a-cli";
    char option_[10] = "-platform";
    char platform_[10] = "offscreen";
    char* argv_[4] = {program_, option_, platform_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

}  // namespace

// A new painter; the caller owns it (and deletes it before the process ends).
extern "C" __attribute__((visibility("default"))) vrq::margin::PlotPainter*
vrq66208a_make_plot_painter() {
    return std::make_unique<OffscreenPainter>().release();
}
