#include "board/hidapi_transport.h"

#include <hidapi/hidapi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "board/device_lock.h"

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
    HidapiDevice(std::unique_ptr<DeviceLock> lock, DevicePtr device)
        : lock_(std::move(lock)), device_(std::move(device)) {}

    bool Write(const Report& report) override {
        // The board uses no numbered reports: byte 0 (ID 0) goes along as hidapi expects,
        // hidraw drops it and sends the 63 payload bytes.
        return hid_write(device_.get(), report.data(), report.size()) >= 0;
    }

    // Half a full-speed frame: the command goes out in one frame and the answer is polled in
    // a later one, so no board answers sooner.
    std::chrono::steady_clock::duration LeastRoundTrip() const override {
        return std::chrono::microseconds(500);
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
    std::unique_ptr<DeviceLock> lock_;  // released after the device is closed
    DevicePtr device_;
};

// Why a device node cannot be opened, where the platform's path is a file (hidraw).
OpenFailure ClassifyNode(const std::string& path) {
    struct stat st {};
    if (path.empty() || path.front() != '/') {
        return OpenFailure::Other;
    }
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? OpenFailure::Gone : OpenFailure::Other;
    }
    if (::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        return OpenFailure::NoPermission;
    }
    return OpenFailure::Other;
}

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

OpenResult HidapiTransport::Open(const std::string& path) {
    OpenResult result;
    if (!initialised_) {
        result.failure = OpenFailure::Other;
        return result;
    }
    // The lock first, on the node itself: a board another program holds is not touched.
    std::unique_ptr<DeviceLock> lock;
    result.failure =
        OpenFailureOf(DeviceLock::Acquire(path, false, lock, result.holder, result.why));
    if (result.failure != OpenFailure::None) {
        return result;
    }
    DevicePtr device(hid_open_path(path.c_str()));
    if (!device) {
        result.failure = ClassifyNode(path);
        return result;
    }
    result.device = std::make_unique<HidapiDevice>(std::move(lock), std::move(device));
    return result;
}

}  // namespace vrq::board
