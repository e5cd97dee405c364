// The main window's tool windows (register definitions, bus trace, link margin, and whatever
// comes): at most one of each kind, made on first use, shown again and brought to the front
// after that, and all closed with their owner. A new kind of window needs no line here nor in
// the owner's close.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

namespace vrq::ui {

class ToolWindows : public QObject {
  public:
    ToolWindows() = default;
    ToolWindows(const ToolWindows&) = delete;
    ToolWindows& operator=(const ToolWindows&) = delete;
    ~ToolWindows() override { CloseAll(); }

    // The window of kind W, made from args when there is none; shown, raised and activated.
    template <class W, class... Args>
    W* Show(Args&&... args) {
        W* window = Find<W>();
        if (window == nullptr) {
            std::erase_if(windows_, [](const Entry& e) { return e.window.isNull(); });
            // Ownerless, so that it is a window of its own; Qt deletes it when the user closes
            // it, and the pointer kept here then reads null.
            auto made = std::make_unique<W>(std::forward<Args>(args)...);
            made->setAttribute(Qt::WA_DeleteOnClose);
            made->installEventFilter(this);
            window = made.release();
            windows_.push_back({window, false});
        }
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }

    // The open window of kind W; null when there is none (one the user closed is gone, even
    // before Qt deletes it).
    template <class W>
    W* Find() const {
        for (const Entry& entry : windows_) {
            if (entry.window.isNull() || (entry.closed && !entry.window->isVisible())) {
                continue;
            }
            if (auto* found = dynamic_cast<W*>(entry.window.data())) {
                return found;
            }
        }
        return nullptr;
    }

    // Closes every window (each ends what it runs: a sweep writes its registers back) and
    // deletes it now, not later, so that nothing of it outlives the owner's boards; windows
    // already closed but not yet deleted go too.
    void CloseAll() {
        std::vector<Entry> open;
        open.swap(windows_);
        for (const Entry& entry : open) {
            const QPointer<QWidget>& window = entry.window;
            if (window.isNull()) {
                continue;
            }
            window->removeEventFilter(this);
            window->setAttribute(Qt::WA_DeleteOnClose, false);
            if (window->isVisible()) {
                window->close();
            }
            if (!window.isNull()) {
                const std::unique_ptr<QWidget> gone(window.data());
            }
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            for (Entry& entry : windows_) {
                if (entry.window.data() == watched) {
                    entry.closed = true;  // gone once it is hidden (a close may be refused)
                }
            }
        }
        return false;
    }

  private:
    struct Entry {
        QPointer<QWidget> window;
        bool closed = false;
    };
    std::vector<Entry> windows_;
};

}  // namespace vrq::ui
