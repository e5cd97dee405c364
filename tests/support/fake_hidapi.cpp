#include "support/fake_hidapi.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

using vrq::test::fake_hid::Fake;

struct hid_device_ {
    std::string path;
};

namespace vrq::test::fake_hid {
namespace {

State& Instance() {
    static State state;
    return state;
}

// Handles not yet closed: a close of anything else is counted, never freed.
std::set<hid_device*>& Live() {
    static std::set<hid_device*> live;
    return live;
}

char* CopyText(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

State& Fake() {
    return Instance();
}

void Reset() {
    for (hid_device* device : Live()) {
        delete device;
    }
    Live().clear();
    Instance() = State{};
}

}  // namespace vrq::test::fake_hid

extern "C" {

int hid_init(void) {
    ++Fake().inits;
    return Fake().initFails ? -1 : 0;
}

int hid_exit(void) {
    ++Fake().exits;
    return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    ++Fake().enumerations;
    hid_device_info* head = nullptr;
    hid_device_info** tail = &head;
    for (const auto& device : Fake().devices) {
        // 0 for either ID matches every device, as in hidapi.
        if ((vendor_id != 0 && vendor_id != device.vendorId) ||
            (product_id != 0 && product_id != device.productId)) {
            continue;
        }
        auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        info->path = vrq::test::fake_hid::CopyText(device.path);
        info->vendor_id = device.vendorId;
        info->product_id = device.productId;
        info->usage_page = device.usagePage;
        info->bus_type = HID_API_BUS_USB;
        *tail = info;
        tail = &info->next;
    }
    return head;
}

void hid_free_enumeration(struct hid_device_info* devs) {
    ++Fake().listsFreed;
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs);
        devs = next;
    }
}

hid_device* hid_open_path(const char* path) {
    ++Fake().openAttempts;
    const std::string p = path;
    const bool listed = std::any_of(Fake().devices.begin(), Fake().devices.end(),
                                    [&](const auto& device) { return device.path == p; });
    if (!listed || Fake().refuse.count(p) != 0) {
        return nullptr;
    }
    auto* device = new hid_device{p};
    vrq::test::fake_hid::Live().insert(device);
    ++Fake().opens;
    Fake().opened.push_back(p);
    return device;
}

void hid_close(hid_device* dev) {
    if (vrq::test::fake_hid::Live().erase(dev) == 0) {
        ++Fake().badCloses;
        return;
    }
    ++Fake().closes;
    delete dev;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    if (!Fake().onWrite) {
        return static_cast<int>(length);
    }
    return Fake().onWrite(dev->path, std::span(data, length));
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
    if (!Fake().onRead) {
        return 0;
    }
    return Fake().onRead(dev->path, std::span(data, length), milliseconds);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
    return hid_read_timeout(dev, data, length, -1);
}

const wchar_t* hid_error(hid_device* /*dev*/) {
    return L"stand-in for hidapi";
}

}  // extern "C"
