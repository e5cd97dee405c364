#include "ui/main/box_keys.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMouseEvent>

#include "board/hex.h"

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
    const auto code = static_cast<Qt::Key>(key->key());
    const Qt::KeyboardModifiers modifiers = key->modifiers();

    if (!press) {
        // One key-up per key: holding a key repeats presses, not releases.
        if (!key->isAutoRepeat() && handlers.keyUp) {
            handlers.keyUp(index, code, modifiers);
        }
        return false;
    }
    // The box's other paste keys (Shift+Insert) would put unchecked text in: only Ctrl+V
    // pastes, through the key-down handler.
    if (key->matches(QKeySequence::Paste) && key->key() != Qt::Key_V) {
        return true;
    }
    const bool focusMove = (code == Qt::Key_Tab || code == Qt::Key_Backtab) &&
                           (modifiers & (Qt::ControlModifier | Qt::AltModifier)) == 0;
    if (focusMove) {
        return false;
    }
    if (handlers.keyDown && handlers.keyDown(index, code, modifiers)) {
        return true;
    }
    if (!handlers.keyPress || key->text().isEmpty()) {
        return false;
    }
    // With Alt or Meta held a key types nothing (Windows sends it no character), but X11 gives
    // it its text, which the box would type.
    if ((modifiers & (Qt::AltModifier | Qt::MetaModifier)) != 0) {
        return true;
    }
    // X11 gives Delete the text "\x7f": a key, not a character, and the box's own to handle.
    if (key->text() == QStringLiteral("\x7f")) {
        return false;
    }
    QString typed;
    bool changed = false;
    for (const QChar original : key->text()) {
        char16_t character = original.unicode();
        handlers.keyPress(index, character);
        changed = changed || character != original.unicode();
        // Control characters (Backspace, Enter) act as keys, never as text.
        if (character >= 0x20) {
            typed += QChar(character);
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

ClipboardKey handleClipboardKeys(QLineEdit* box, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if ((modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) !=
        Qt::ControlModifier) {
        return ClipboardKey::None;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    switch (key) {
        case Qt::Key_A:
            box->setSelection(0, static_cast<int>(box->text().size()));
            return ClipboardKey::SelectAll;
        case Qt::Key_C:
            clipboard->clear();
            clipboard->setText(box->selectedText());
            return ClipboardKey::Copy;
        case Qt::Key_V: {
            // The whole text is replaced, and only by a byte: checked before the box's two
            // characters could cut "100" to "10".
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
