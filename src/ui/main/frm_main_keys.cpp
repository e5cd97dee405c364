// The keyboard events of the text-box arrays, turned into the window's key-down, key-press
// and key-up events with their index, virtual-key code, modifier mask and character.
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMouseEvent>

#include "ui/main/frm_main.h"
#include "ui/main/key_codes.h"

namespace vrq::ui {

void FrmMain::WireKeys() {
    const auto keyed = [this](QLineEdit* box, KeyedBoxes array, int index) {
        keyedBoxes_[box] = BoxSlot{array, index};
        box->installEventFilter(this);
        // Text reaches these boxes by keys and Ctrl+V only, where it is checked: no menu
        // paste, no drop, no middle-click paste.
        box->setContextMenuPolicy(Qt::NoContextMenu);
        box->setAcceptDrops(false);
    };
    for (int i = 0; i < kRegBoxCount; ++i) {
        keyed(txtRegVal[i], KeyedBoxes::RegVal, i);
    }
    keyed(txtRegister, KeyedBoxes::Register, 0);
    for (int i = 0; i < 2; ++i) {
        keyed(txtWriteIndividual[i], KeyedBoxes::WriteIndividual, i);
    }
}

void FrmMain::SetBoxKeyHandlers(KeyedBoxes boxes, BoxKeyHandlers handlers) {
    boxKeyHandlers_[static_cast<std::size_t>(boxes)] = std::move(handlers);
}

bool FrmMain::FilterBoxKeys(QObject* watched, QEvent* event) {
    const auto found = keyedBoxes_.find(watched);
    if (found == keyedBoxes_.end()) {
        return false;
    }
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        return true;  // the selection paste of X11
    }
    const BoxSlot slot = found->second;
    // A copy: a handler's pause runs other events, which may replace the handlers.
    const BoxKeyHandlers handlers = boxKeyHandlers_[static_cast<std::size_t>(slot.array)];
    if (type == QEvent::FocusOut) {
        if (handlers.focusLost) {
            handlers.focusLost(slot.index);
        }
        return false;
    }
    const bool press = type == QEvent::KeyPress;
    if (!press && type != QEvent::KeyRelease) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    int KeyCode = VbKeyCode(key->key(), key->modifiers().testFlag(Qt::KeypadModifier));
    const int Shift = VbShiftMask(key->modifiers());

    if (!press) {
        // One key-up per key: holding a key repeats presses, not releases.
        if (!key->isAutoRepeat() && handlers.keyUp) {
            handlers.keyUp(slot.index, KeyCode, Shift);
        }
        return false;
    }
    // The box's other paste keys (Shift+Insert) would put unchecked text in: only Ctrl+V
    // pastes, through the key-down handler.
    if (key->matches(QKeySequence::Paste) && key->key() != Qt::Key_V) {
        return true;
    }
    const bool focusMove = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                           (Shift & (kCtrlMask | kAltMask)) == 0;
    if (focusMove) {
        return false;
    }
    if (handlers.keyDown) {
        const int pressed = KeyCode;
        handlers.keyDown(slot.index, KeyCode, Shift);
        // Swallowed only when the handler asked; a key without a code of its own goes on.
        if (pressed != 0 && KeyCode == 0) {
            return true;
        }
    }
    if (!handlers.keyPress || key->text().isEmpty()) {
        return false;
    }
    // With Alt or Meta held a key types nothing (Windows sends it no character), but X11 gives
    // it its text, which the box would type.
    if ((key->modifiers() & (Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return true;
    }
    // X11 gives Delete the text "\x7f": a key, not a character, and the box's own to handle.
    if (key->text() == QStringLiteral("\x7f")) {
        return false;
    }
    QString typed;
    bool changed = false;
    for (const QChar character : key->text()) {
        int KeyAscii = character.unicode();
        handlers.keyPress(slot.index, KeyAscii);
        changed = changed || KeyAscii != character.unicode();
        // Control characters (Backspace, Enter) act as keys, never as text.
        if (KeyAscii >= 0x20 && KeyAscii <= 0xFFFF) {
            typed += QChar(static_cast<char16_t>(KeyAscii));
        }
    }
    if (!changed) {
        return false;
    }
    if (!typed.isEmpty()) {
        static_cast<QLineEdit*>(watched)->insert(typed);
    }
    return true;
}

}  // namespace vrq::ui
