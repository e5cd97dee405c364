// The test tabs "Tab 1" and "Tab 2" of SSTab1: hidden until the access word is typed on the tab
// strip, and out of reach of the strip's keys and wheel while hidden; and the multi-write test
// on "Tab 2", which writes three registers in one transfer and shows their read-back.
#pragma once

#include <QObject>

#include "ui/link/board_link.h"
#include "ui/main/access_word.h"
#include "ui/main/design.h"

class QPushButton;
class QTabBar;
class QTabWidget;

namespace vrq::ui {

class RegisterPanel;

class HiddenTabs : public QObject {
  public:
    // SSTab1 is the tabbed control whose tabs 1 and 2 are the test tabs; the button goes on page.
    HiddenTabs(link::BoardLink& link, RegisterPanel& panel, Designer& design, QTabWidget& SSTab1,
               QWidget* page);

    void ShowTestTabs(bool value);

    // ---- Event handlers
    void SSTab1_KeyPress(char16_t character);
    void cmdMultiWriteTest_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Moves to the next shown tab in direction step (+1 or -1); a hidden tab is never
    // current. Wrap: past the last comes the first (Ctrl+Tab), else it stops at the end.
    void MoveToShownTab(int step, bool wrap);

    link::BoardLink& link_;
    RegisterPanel& panel_;
    QTabWidget& SSTab1;
    QTabBar* strip_ = nullptr;  // SSTab1's tab strip
    AccessWordMatcher typedKeys_;
    QPushButton* cmdMultiWriteTest = nullptr;
};

}  // namespace vrq::ui
