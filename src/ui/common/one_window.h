// The one window of its kind (register definitions, bus trace, link margin): made and shown
// when there is none, otherwise shown again and brought to the front as it is.
#pragma once

#include <QPointer>

#include <memory>
#include <utility>

namespace vrq::ui {

template <class Window, class... Args>
Window* ShowOneWindow(QPointer<Window>& current, Args&&... args) {
    if (current.isNull()) {
        // Ownerless: Qt deletes it when it is closed (WA_DeleteOnClose), so it is handed over.
        auto window = std::make_unique<Window>(std::forward<Args>(args)...);
        window->setAttribute(Qt::WA_DeleteOnClose);
        current = window.release();
    }
    current->show();
    current->raise();
    current->activateWindow();
    return current.data();
}

}  // namespace vrq::ui
