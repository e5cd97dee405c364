// The small HID layer the board sessions stand on. Two backends: hidapi (real boards) and the
// simulated board. Every handle is owned: a device closes when its object is destroyed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "board/report.h"

namespace vrq::board {

struct HidDeviceInfo {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

enum class ReadOutcome {
    Answer,   // one full input report arrived: bytes 1..63 hold it, byte 0 is 0
    Timeout,  // nothing arrived in time; the report is untouched
    Failure,  // the device failed or is gone (unplugged); the report is untouched
};

class HidDevice {
  public:
    virtual ~HidDevice() = default;  // closes the device
    // Writes one 64-byte output report; byte 0 is the report ID. False: not written.
    virtual bool Write(const Report& report) = 0;
    // Waits up to timeoutMs for one input report; 0 only looks at what is already waiting.
    // A short report counts as Failure.
    virtual ReadOutcome Read(Report& report, int timeoutMs) = 0;
    // The least time from a command's write to its answer being readable that this device
    // can show (its USB frames each way): a report that comes sooner is not the answer.
    // Zero when nothing is known (a simulated board that answers at once).
    virtual std::chrono::steady_clock::duration LeastRoundTrip() const { return {}; }
};

// Why a device could not be opened.
enum class OpenFailure {
    None,
    NoPermission,  // the device node exists but this user may not open it (no udev rule)
    InUse,         // another program of ours has it (see OpenResult::holder)
    Gone,          // unplugged between the listing and the open
    NoLock,        // no lock could be taken on it (see OpenResult::why): refused rather than
                   // shared unknowingly with another program
    Other,         // any other refusal of the platform
};

struct OpenResult {
    std::unique_ptr<HidDevice> device;  // null when the open failed
    OpenFailure failure = OpenFailure::None;
    std::string holder;  // InUse: "name (process 1234)", or "" when it cannot be told
    std::string why;     // NoLock: the system's reason
};

class HidTransport {
  public:
    virtual ~HidTransport() = default;
    // All HID interfaces present, in the platform's order. A device may appear once per
    // usage page with the same path.
    virtual std::vector<HidDeviceInfo> Enumerate() = 0;
    // Opens a path for reading and writing. A board is held by one program of ours at a
    // time: the device keeps an advisory lock on its node until it is destroyed, so a second
    // program gets InUse (and the lock dies with a program that crashes).
    virtual OpenResult Open(const std::string& path) = 0;
};

}  // namespace vrq::board
