// A push button whose caption breaks into lines at blanks when it does not fit on one, as the
// captions of the platform's classic command buttons do (a tall, narrow button is laid out
// for a two-line caption).
#pragma once

#include <QPushButton>

class QPaintEvent;

namespace vrq::ui {

class WrappingButton : public QPushButton {
    Q_OBJECT

  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vrq::ui
