// The keyboard events of a control array of hex boxes, and the clipboard keys every hex box
// shares.
#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

namespace vrq::ui {

// Keyboard handlers of one control array: the key and the modifiers held, as Qt reports them
// (a modifier key's own press carries its modifier), and the character typed. Per key:
// keyDown, then keyPress when it types a character, then the box's own handling; keyUp once
// when the key is released (auto-repeat gives no key-ups). Tab moves the focus without
// keyDown or keyPress; its release reaches the box that got the focus. A key held with Alt or
// Meta, and Delete, type no character: no keyPress (and with Alt or Meta the box types
// nothing either).
struct BoxKeyHandlers {
    // True swallows the key: no keyPress follows and the box ignores it.
    std::function<bool(int index, Qt::Key key, Qt::KeyboardModifiers modifiers)> keyDown;
    // Setting character to 0 drops it; another printable value is typed instead.
    std::function<void(int index, char16_t& character)> keyPress;
    std::function<void(int index, Qt::Key key, Qt::KeyboardModifiers modifiers)> keyUp;
    // The box lost the focus: keys still held are released elsewhere.
    std::function<void(int index)> focusLost;
};

// Hands the keyboard events of the boxes added to the handlers set (replacing any set before).
// Without handlers the boxes behave as plain line edits.
class BoxKeys : public QObject {
  public:
    using QObject::QObject;

    // Element index of the array. Text reaches the box by keys and Ctrl+V only, where it is
    // checked: no menu paste, no drop, no middle-click paste.
    void Add(QLineEdit* box, int index);
    void SetHandlers(BoxKeyHandlers handlers);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    BoxKeyHandlers handlers_;
};

// What handleClipboardKeys did.
enum class ClipboardKey { None, SelectAll, Copy, Pasted, PasteRefused };

// Ctrl+A selects all, Ctrl+C copies the selection, Ctrl+V replaces the whole text by the
// clipboard's when that is one or two hex digits (Ctrl alone: with Shift or Alt they are other
// keys). Anything but None means the key was taken, so the box's own handling must not follow.
ClipboardKey handleClipboardKeys(QLineEdit* box, Qt::Key key, Qt::KeyboardModifiers modifiers);

}  // namespace vrq::ui
