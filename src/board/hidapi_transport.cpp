#include "board/hidapi_transport.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <iterator>

namespace vrq::board {
namespace {

struct DeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
struct EnumerationFreer {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using DevicePtr = std::unique_ptr<hid_device, DeviceCloser>;
using EnumerationPtr = std::unique_ptr<hid_device_info, EnumerationFreer>;

class HidapiDevice : public HidDevice {
  public:
    explicit HidapiDevice(DevicePtr device) : device_(std::move(device)) {}

    bool Write(const Report& report) override {
        // The board uses no numbered reports: byte 0 (ID 0) goes along as hidapi expects,
        // hidraw drops it and sends the 63 payload bytes.
        return hid_write(device_.get(), report.data(), report.size()) >= 0;
    }

    ReadOutcome Read(Report& report, int timeoutMs) override {
        std::uint8_t payload[kReportSize - 1];
        const int n = hid_read_timeout(device_.get(), payload, sizeof payload, timeoutMs);
        if (n == 0) {
            return ReadOutcome::Timeout;
        }
        // A short report would leave stale bytes behind: never take it as data.
        if (n != static_cast<int>(sizeof payload)) {
            return ReadOutcome::Failure;
        }
        report[off::kReportId] = 0;
        std::copy(std::begin(payload), std::end(payload), report.begin() + 1);
        return ReadOutcome::Answer;
    }

  private:
    DevicePtr device_;
};

}  // namespace

HidapiTransport::HidapiTransport() : initialised_(hid_init() == 0) {}

HidapiTransport::~HidapiTransport() {
    if (initialised_) {
        hid_exit();
    }
}

std::vector<HidDeviceInfo> HidapiTransport::Enumerate() {
    std::vector<HidDeviceInfo> devices;
    if (!initialised_) {
        return devices;
    }
    EnumerationPtr list(hid_enumerate(0, 0));
    for (const hid_device_info* info = list.get(); info != nullptr; info = info->next) {
        devices.push_back(
            {info->path != nullptr ? info->path : "", info->vendor_id, info->product_id});
    }
    return devices;
}

std::unique_ptr<HidDevice> HidapiTransport::Open(const std::string& path) {
    if (!initialised_) {
        return nullptr;
    }
    DevicePtr device(hid_open_path(path.c_str()));
    if (!device) {
        return nullptr;
    }
    return std::make_unique<HidapiDevice>(std::move(device));
}

}  // namespace vrq::board
