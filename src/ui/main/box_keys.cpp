#include "ui/main/box_keys.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMouseEvent>

#include "board/hex.h"
#include "ui/main/key_codes.h"
#include "ui/main/vb_keys.h"

namespace vrq::ui {

void BoxKeys::Add(QLineEdit* box, int index) {
    box->setProperty("boxIndex", index);
    box->installEventFilter(this);
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->setAcceptDrops(false);
}

void BoxKeys::SetHandlers(BoxKeyHandlers handlers) {
    handlers_ = std::move(handlers);
}

bool BoxKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        return true;  // the selection paste of X11
    }
    const int index = watched->property("boxIndex").toInt();
    // A copy: a handler's pause runs other events, which may replace the handlers.
    const BoxKeyHandlers handlers = handlers_;
    if (type == QEvent::FocusOut) {
        if (handlers.focusLost) {
            handlers.focusLost(index);
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
            handlers.keyUp(index, KeyCode, Shift);
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
        handlers.keyDown(index, KeyCode, Shift);
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
        handlers.keyPress(index, KeyAscii);
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

ClipboardKey handleClipboardKeys(QLineEdit* box, int& KeyCode, int Shift) {
    if (Shift != kCtrlMask) {
        return ClipboardKey::None;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    switch (KeyCode) {
        case vk::kA:
            box->setSelection(0, static_cast<int>(box->text().size()));
            KeyCode = 0;
            return ClipboardKey::SelectAll;
        case vk::kC:
            clipboard->clear();
            clipboard->setText(box->selectedText());
            KeyCode = 0;
            return ClipboardKey::Copy;
        case vk::kV: {
            // The whole text is replaced, and only by a byte: checked before the box's two
            // characters could cut "100" to "10".
            KeyCode = 0;
            const QString pasted = clipboard->text();
            if (!board::IsHexByteText(pasted.toStdString())) {
                return ClipboardKey::PasteRefused;
            }
            box->setText(pasted);
            return ClipboardKey::Pasted;
        }
        default:
            return ClipboardKey::None;
    }
}

}  // namespace vrq::ui
