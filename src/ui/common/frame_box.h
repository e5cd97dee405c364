// A frame whose caption sits on its top line, as the classic dialog frames draw it, so that
// controls placed for such a frame clear its caption and its line alike.
#pragma once

#include <QGroupBox>

class QPaintEvent;

namespace vrq::ui {

class FrameBox : public QGroupBox {
    Q_OBJECT

  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vrq::ui
