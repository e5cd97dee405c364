// Helpers for the register panel's widget tests: key chords whose modifier stays held, the
// clipboard, the chip's address and its writes.
#pragma once

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

#include "sim/chip_model.h"
#include "sim/sim_board.h"

namespace vrq::test {

// Presses and releases key with modifiers held throughout, without the modifier keys' own
// presses and releases (the user keeps Shift or Ctrl down).
inline void HeldChord(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

// A key pressed and released as an X server delivers it, with the text offscreen key clicks
// leave out: "\x7f" for Delete, the letter or digit of a key typed with Alt or Meta.
inline void X11KeyClick(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers,
                        const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(widget, &release);
}

inline const QString kX11DeleteText = QStringLiteral("\x7f");

inline void SetClipboard(const QString& text) {
    QApplication::clipboard()->setText(text);
}

// The chip's address byte (8-bit write form).
inline std::uint8_t ChipAddressByte() {
    return sim::kDefaultChipAddress7 << 1;
}

// The chip's writes as (register, value) pairs.
inline std::vector<std::pair<int, int>> Writes(const sim::SimBoard& board) {
    std::vector<std::pair<int, int>> writes;
    for (const auto& record : board.Chip().WriteLog()) {
        writes.emplace_back(record.reg, record.value);
    }
    return writes;
}

using WriteList = std::vector<std::pair<int, int>>;

}  // namespace vrq::test
