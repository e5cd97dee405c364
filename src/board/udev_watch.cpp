#include "board/udev_watch.h"

#include <libudev.h>

#include <charconv>

#include "board/discovery.h"

namespace vrq::board {
namespace {

struct UdevCloser {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <class T>
using UdevPtr = std::unique_ptr<T, UdevCloser>;

std::optional<std::uint32_t> HexField(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

class UdevWatch : public DeviceWatch {
  public:
    UdevWatch(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor)
        : context_(std::move(context)), monitor_(std::move(monitor)) {}

    int Descriptor() const override { return udev_monitor_get_fd(monitor_.get()); }

    void Poll() override {
        // The monitor's socket does not block: every change waiting, then back to the loop.
        while (UdevPtr<udev_device> device{udev_monitor_receive_device(monitor_.get())}) {
            const char* action = udev_device_get_action(device.get());
            const char* node = udev_device_get_devnode(device.get());
            if (action == nullptr || node == nullptr) {
                continue;
            }
            const std::string_view what = action;
            if (what == "remove") {
                Tell({DeviceChange::Kind::Left, node});
            } else if (what == "add" && IsBoard(device.get())) {
                Tell({DeviceChange::Kind::Arrived, node});
            }
        }
    }

  private:
    static bool IsBoard(udev_device* node) {
        udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
        const char* id = hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
        const auto ids = id != nullptr ? ParseHidId(id) : std::nullopt;
        return ids && ids->vendorId == kBoardVendorId && ids->productId == kBoardProductId;
    }

    UdevPtr<udev> context_;
    UdevPtr<udev_monitor> monitor_;
};

}  // namespace

std::optional<HidIds> ParseHidId(std::string_view property) {
    // bus:vendor:product, each in hexadecimal.
    const std::size_t first = property.find(':');
    const std::size_t second =
        first == std::string_view::npos ? first : property.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = HexField(property.substr(first + 1, second - first - 1));
    const auto product = HexField(property.substr(second + 1));
    if (!HexField(property.substr(0, first)) || !vendor || !product || *vendor > 0xFFFF ||
        *product > 0xFFFF) {
        return std::nullopt;
    }
    return HidIds{static_cast<std::uint16_t>(*vendor), static_cast<std::uint16_t>(*product)};
}

std::unique_ptr<DeviceWatch> WatchBoards(std::string& why) {
    UdevPtr<udev> context{udev_new()};
    if (!context) {
        why = "udev is not available";
        return nullptr;
    }
    UdevPtr<udev_monitor> monitor{udev_monitor_new_from_netlink(context.get(), "udev")};
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        why = "the udev monitor could not be started";
        return nullptr;
    }
    return std::make_unique<UdevWatch>(std::move(context), std::move(monitor));
}

}  // namespace vrq::board
