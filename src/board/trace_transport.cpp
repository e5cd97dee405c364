#include "board/trace_transport.h"

#include "board/hex.h"

namespace vrq::board {
namespace {

class TraceDevice : public HidDevice {
  public:
    TraceDevice(std::unique_ptr<HidDevice> inner, std::ostream& out)
        : inner_(std::move(inner)), out_(out) {}

    bool Write(const Report& report) override {
        // Logged before the write: a report that fails to go out is still worth seeing.
        out_ << FormatTraceLine('>', report) << std::endl;
        return inner_->Write(report);
    }

    ReadOutcome Read(Report& report, int timeoutMs) override {
        const ReadOutcome outcome = inner_->Read(report, timeoutMs);
        if (outcome == ReadOutcome::Answer) {
            out_ << FormatTraceLine('<', report) << std::endl;
        }
        return outcome;
    }

    std::chrono::steady_clock::duration LeastRoundTrip() const override {
        return inner_->LeastRoundTrip();
    }

  private:
    std::unique_ptr<HidDevice> inner_;
    std::ostream& out_;
};

}  // namespace

std::string FormatTraceLine(char direction, const Report& report) {
    std::string line;
    line.reserve(2 + report.size() * 3);
    line += direction;
    for (std::uint8_t byte : report) {
        line += ' ';
        line += ByteToHex(byte);
    }
    return line;
}

OpenResult TraceTransport::Open(const std::string& path) {
    OpenResult opened = inner_.Open(path);
    if (opened.device) {
        opened.device = std::make_unique<TraceDevice>(std::move(opened.device), out_);
    }
    return opened;
}

}  // namespace vrq::board
