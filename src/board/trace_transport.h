// A transport that passes everything through and writes each report exchanged as one line:
// "> " host to board or "< " board to host, then the 64 bytes as upper-case hex.
#pragma once

#include <ostream>

#include "board/hid_transport.h"

namespace vrq::board {

std::string FormatTraceLine(char direction, const Report& report);

class TraceTransport : public HidTransport {
  public:
    TraceTransport(HidTransport& inner, std::ostream& out) : inner_(inner), out_(out) {}

    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    OpenResult Open(const std::string& path) override;

  private:
    HidTransport& inner_;
    std::ostream& out_;
};

}  // namespace vrq::board
