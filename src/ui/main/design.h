// What every concern of the main window uses to make its controls as the window was designed:
// each control's name, its place in the keyboard order, and its place on a tab page (in twips,
// ui/common/twips.h). The window makes one Designer and hands it to each concern it builds.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

class QLineEdit;
class QTabWidget;

namespace vrq::ui {

// The pages of the tabbed control SSTab1.
struct TabPages {
    QWidget* registers = nullptr;  // tab 0 "Registers"
    QWidget* tab1 = nullptr;       // test tab "Tab 1"
    QWidget* tab2 = nullptr;       // test tab "Tab 2"
};

// A widget owned by its Qt parent from the moment it exists.
template <class W, class... Args>
W* Owned(QWidget* parent, Args&&... args) {
    return std::make_unique<W>(std::forward<Args>(args)..., parent).release();
}

// A hex box: a line edit that takes at most two characters.
QLineEdit* HexBox(QWidget* parent, const QString& text = {});

// A box that shows values and takes no input: disabled, its value in the text colour on the
// grey of the buttons (a disabled box would draw it pale grey, hard to read).
void ShowValuesOnly(QLineEdit* box);

// The object name of element index of a control array: "txtRegVal_3".
QString Indexed(const char* array, int index);

class Designer : public QObject {
  public:
    // For the pages tabs holds now.
    explicit Designer(QTabWidget& tabs);

    // Names a control and gives it its place in the keyboard order.
    void Name(QWidget* control, const QString& name, int tabIndex);
    // Places a control of a tab page where the design has it relative to the tabbed control.
    void PlaceOnPage(QWidget* control, QRect tabPlace);

    // Name, then the place on its tab page (relative to the tabbed control); the control.
    template <class W>
    W* OnPage(W* control, const QString& name, int tabIndex, QRect tabPlace) {
        Name(control, name, tabIndex);
        PlaceOnPage(control, tabPlace);
        return control;
    }
    // Name, then the place inside its frame; the control.
    template <class W>
    W* InFrame(W* control, const QString& name, int tabIndex, QRect place) {
        Name(control, name, tabIndex);
        control->setGeometry(place);
        return control;
    }
    // Once every control is made: the Tab key follows the tab indices across every page and
    // frame.
    void SetTabOrder();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PlaceTabPageControls();

    struct PagePlace {
        QWidget* control;
        QRect tabPlace;  // in pixels, relative to SSTab1
    };
    QTabWidget& tabs_;
    std::vector<PagePlace> pagePlaces_;
    std::vector<std::pair<int, QWidget*>> tabIndices_;
};

}  // namespace vrq::ui
