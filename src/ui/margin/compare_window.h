// Saved runs compared: each channel's bathtubs of every run over each other, the table of
// window, margin and verify result per run, and what makes the runs not alike. A window of its
// own, owned by the Sweep tab that opened it and closed with it.
#pragma once

#include <QWidget>

#include <vector>

#include "margin/compare.h"

namespace vrq::ui {

class CompareWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "Link Margin: runs compared";
    CompareWindow(std::vector<margin::SavedRun> runs, QWidget* owner);
    const std::vector<margin::SavedRun>& Runs() const { return runs_; }

  private:
    std::vector<margin::SavedRun> runs_;
};

}  // namespace vrq::ui
