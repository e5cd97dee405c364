// Boards arriving and leaving while the program runs. A watch tells its listeners of each
// device node that appears or goes; what is a board among them is the listener's to decide
// (for a node that left, nothing can be read of it any more). The platform's watch is polled
// when its descriptor becomes readable (the window's event loop watches it); the simulated
// boards' watch tells at once.
#pragma once

#include <functional>
#include <string>

#include "board/notifier.h"

namespace vrq::board {

struct DeviceChange {
    enum class Kind : std::uint8_t { Arrived, Left };
    Kind kind = Kind::Arrived;
    std::string path;  // as the transport lists and opens it
};

class DeviceWatch {
  public:
    virtual ~DeviceWatch() = default;
    // Readable when changes wait to be polled; -1 when the watch tells at once.
    virtual int Descriptor() const { return -1; }
    // Takes the changes waiting and tells the listeners.
    virtual void Poll() {}

    using Changes = Notifier<DeviceChange>;
    [[nodiscard]] Changes::Subscription OnChange(std::function<void(DeviceChange)> listener) {
        return changes_.Subscribe(std::move(listener));
    }

  protected:
    void Tell(const DeviceChange& change) { changes_.Notify(change); }

  private:
    Changes changes_;
};

}  // namespace vrq::board
