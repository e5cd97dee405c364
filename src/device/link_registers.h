// The registers that tell how well the chip receives its inputs, and the bits in them: channel
// activity and selection, receive equalization per channel, input hysteresis, the PRBS7
// checker and its three error counters (one per TMDS data link). Chip facts only; no I/O.
#pragma once

#include <cstdint>
#include <string_view>

namespace vrq::device {

inline constexpr int kChannelCount = 4;  // inputs A..D
inline constexpr int kLinkCount = 3;     // TMDS data links 0..2, one error counter each

inline constexpr std::uint8_t kRegChannelActivity = 0x01;  // bit n: channel n's clock active
inline constexpr std::uint8_t kRegChannelSelect = 0x02;
inline constexpr std::uint8_t kRegInputControl = 0x03;
inline constexpr std::uint8_t kRegEqualizerBA = 0x07;  // B high nibble, A low nibble
inline constexpr std::uint8_t kRegEqualizerDC = 0x08;  // D high nibble, C low nibble
inline constexpr std::uint8_t kRegTest = 0x09;
inline constexpr std::uint8_t kRegErrorCount0 = 0x0A;  // link 0; links 1 and 2 follow

// Register 0x02.
inline constexpr std::uint8_t kPowerDownBit = 0x20;
// Bit 3 high: the chip's pins select the channel (their own automatic selection or Ch_sel);
// low: bit 2 high selects the active channel automatically, low selects bits 1:0.
inline constexpr std::uint8_t kHardwareSelectBit = 0x08;
inline constexpr std::uint8_t kAutoSelectBit = 0x04;
inline constexpr std::uint8_t kChannelSelectBits = 0x03;  // 00 A .. 11 D
// Register 0x03: bit 5 turns the input hysteresis on, bit 6 picks 20 mV over 10 mV.
inline constexpr std::uint8_t kHysteresisOnBit = 0x20;
inline constexpr std::uint8_t kHysteresisMagnitudeBit = 0x40;
inline constexpr std::uint8_t kHysteresisBits = kHysteresisOnBit | kHysteresisMagnitudeBit;
// Register 0x09.
inline constexpr std::uint8_t kPrbsCheckerBit = 0x04;

inline constexpr std::uint8_t kMaxGain = 0x0F;      // maximum boost
inline constexpr std::uint8_t kCounterFull = 0xFF;  // an error counter saturates here
// The checker compares every TMDS character: 10 bits per character on each data link, so a
// link's bit rate is ten times the TMDS character rate (the pixel clock at 8 bits a colour,
// 1.25x at 10, 1.5x at 12, 2x at 16).
inline constexpr double kBitsPerCharacter = 10.0;

enum class Hysteresis : std::uint8_t { Off, Mv10, Mv20 };
inline constexpr int kHysteresisCount = 3;

// "off", "10 mV", "20 mV".
constexpr std::string_view HysteresisText(Hysteresis h) {
    switch (h) {
        case Hysteresis::Mv10:
            return "10 mV";
        case Hysteresis::Mv20:
            return "20 mV";
        case Hysteresis::Off:
            break;
    }
    return "off";
}

// The hysteresis register 0x03 sets (the magnitude bit counts only while it is on).
constexpr Hysteresis HysteresisOf(std::uint8_t inputControl) {
    if ((inputControl & kHysteresisOnBit) == 0) {
        return Hysteresis::Off;
    }
    return (inputControl & kHysteresisMagnitudeBit) != 0 ? Hysteresis::Mv20 : Hysteresis::Mv10;
}

// Register 0x03 with its two hysteresis bits set to h and every other bit kept.
constexpr std::uint8_t WithHysteresis(std::uint8_t inputControl, Hysteresis h) {
    auto value = static_cast<std::uint8_t>(inputControl & ~kHysteresisBits);
    if (h == Hysteresis::Mv10) {
        value |= kHysteresisOnBit;
    } else if (h == Hysteresis::Mv20) {
        value |= kHysteresisBits;
    }
    return value;
}

// 'A'..'D' for channel 0..3.
constexpr char ChannelLetter(int channel) {
    return static_cast<char>('A' + channel);
}

// The channel register 0x02 selects (as the chip keeps it, automatic selection included).
constexpr int SelectedChannel(std::uint8_t channelSelect) {
    return channelSelect & kChannelSelectBits;
}

// Register 0x02 selecting channel by its bits 1:0 (pins and automatic selection off), its
// power-down bit kept: how a tool takes a channel by hand.
constexpr std::uint8_t SelectingByHand(std::uint8_t channelSelect, int channel) {
    return static_cast<std::uint8_t>((channelSelect & kPowerDownBit) |
                                     (static_cast<unsigned>(channel) & kChannelSelectBits));
}

// Where a channel's equalization gain lives: A and C in the low nibble, B and D in the high.
constexpr std::uint8_t EqualizerRegister(int channel) {
    return channel < 2 ? kRegEqualizerBA : kRegEqualizerDC;
}
constexpr int EqualizerShift(int channel) {
    return (channel % 2) * 4;
}
constexpr std::uint8_t GainOf(std::uint8_t equalizer, int channel) {
    return static_cast<std::uint8_t>((equalizer >> EqualizerShift(channel)) & kMaxGain);
}
// The equalizer register with one channel's nibble replaced; the other channel's kept.
constexpr std::uint8_t WithGain(std::uint8_t equalizer, int channel, std::uint8_t gain) {
    const int shift = EqualizerShift(channel);
    return static_cast<std::uint8_t>((equalizer & ~(kMaxGain << shift)) |
                                     ((gain & kMaxGain) << shift));
}

}  // namespace vrq::device
