// HID transport on hidapi (hidraw on Linux). hid_init/hid_exit pair with the object's life.
#pragma once

#include "board/hid_transport.h"

namespace vrq::board {

class HidapiTransport : public HidTransport {
  public:
    HidapiTransport();
    ~HidapiTransport() override;
    HidapiTransport(const HidapiTransport&) = delete;
    HidapiTransport& operator=(const HidapiTransport&) = delete;

    std::vector<HidDeviceInfo> Enumerate() override;
    OpenResult Open(const std::string& path) override;

  private:
    bool initialised_ = false;
};

}  // namespace vrq::board
