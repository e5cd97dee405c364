// A stand-in for the hidapi library, linked in its place so that the hidapi backend runs
// without a HID device: the test lists the devices, decides what each write and read
// returns, and counts every handle and enumeration list, to prove each one is released.
// It implements the functions the backend calls, with the meanings hidapi's header gives
// them; a backend that starts calling another one fails to link.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace vrq::test::fake_hid {

struct Device {
    std::string path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
};

struct State {
    // ---- What the test sets
    std::vector<Device> devices;   // hid_enumerate's list, in this order
    std::set<std::string> refuse;  // hid_open_path returns null for these paths
    bool initFails = false;        // hid_init returns -1
    // Each hid_write: the path and the bytes given; returns what hid_write returns. Unset:
    // every byte is taken.
    std::function<int(const std::string& path, std::span<const std::uint8_t> data)> onWrite;
    // Each hid_read_timeout: fills at most buffer.size() bytes; returns the count, 0 for a
    // time-out or -1 for an error. Unset: a time-out.
    std::function<int(const std::string& path, std::span<std::uint8_t> buffer, int timeoutMs)>
        onRead;

    // ---- What the backend did
    int inits = 0;
    int exits = 0;
    int enumerations = 0;
    int listsFreed = 0;
    int opens = 0;  // successful hid_open_path calls
    int openAttempts = 0;
    int closes = 0;
    int badCloses = 0;                // hid_close of a handle that is not open
    std::vector<std::string> opened;  // paths, in the order they were opened
    int OpenNow() const { return opens - closes; }
};

// The one stand-in; Reset() before each test.
State& Fake();
void Reset();

}  // namespace vrq::test::fake_hid
