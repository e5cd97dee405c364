// The VRQ66208A's register space as the program knows it: captions, indices, defaults, bit
// fields and reference texts. Static data only; no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vrq::device {

// The chip's 7-bit I2C address as the evaluation board straps it, and the 8-bit write form the
// board's requests carry (the read form adds 1).
inline constexpr std::uint8_t kDefaultChipAddress7 = 0x44;
constexpr std::uint8_t AddressByte(unsigned address7) {
    return static_cast<std::uint8_t>(address7 << 1);
}
inline constexpr std::uint8_t kDefaultChipAddressByte = AddressByte(kDefaultChipAddress7);

enum class RegisterGroup {
    WorkingSet,  // 0x00..0x0C and 0x10: label, box, dialog button and reference text
    NamedOnly,   // 0x11..0x15: a label on the hidden test tab, nothing else
    Unnamed,     // 0x0D..0x0F: an invisible box only
};

// One text of a field's meaning: it stands for every value from `from` up to the next entry's
// `from` (the last entry up to the field's top). "{}" in the text is the value in decimal.
struct ValueText {
    unsigned from;
    std::string_view text;
};

// What the values of a field mean.
enum class MeaningKind {
    None,      // unused bits: the value means nothing
    Texts,     // a text per value range (texts)
    Current,   // a current: zeroMicroamps at 0, stepMicroamps more per step
    Required,  // reserved bits that must keep the pattern `required`
};

struct FieldMeaning {
    MeaningKind kind = MeaningKind::None;
    std::span<const ValueText> texts{};
    unsigned zeroMicroamps = 0;
    unsigned stepMicroamps = 0;
    unsigned required = 0;
};

constexpr FieldMeaning Texts(std::span<const ValueText> texts) {
    return {MeaningKind::Texts, texts};
}
constexpr FieldMeaning Current(unsigned zeroMicroamps, unsigned stepMicroamps) {
    return {MeaningKind::Current, {}, zeroMicroamps, stepMicroamps};
}
constexpr FieldMeaning Required(unsigned pattern) {
    return {MeaningKind::Required, {}, 0, 0, pattern};
}

// Bits high..low of a register (high == low for a single bit), with what its values mean.
struct BitField {
    std::uint8_t high;
    std::uint8_t low;
    std::string_view name;
    FieldMeaning meaning{};
};

struct RegisterInfo {
    std::uint8_t address;
    RegisterGroup group;
    std::string_view caption;                  // main-window label caption, "" for 0x0D..0x0F
    int labelIndex;                            // lblRegAdd index, -1 when none
    int boxIndex;                              // txtRegVal index == address
    std::string_view buttonCaption;            // dialog option-button caption, "" when none
    int buttonIndex;                           // 0..13, -1 when none
    std::optional<std::uint8_t> defaultValue;  // working set only
    bool editable;                             // main-window box accepts input
    std::span<const BitField> fields;          // working set only, most significant first
    std::span<const std::string_view> text;    // reference text lines, working set only
};

inline constexpr std::size_t kRegisterCount = 22;

// What register 0x00 reads on this chip: device ID 3, revision 1. A chip that answers with
// it at an address is taken to be ours.
inline constexpr std::uint8_t kDeviceId = 0x31;

// All registers 0x00..0x15 in address order.
std::span<const RegisterInfo> AllRegisters();

// The entry of a register, nullptr above 0x15.
const RegisterInfo* FindRegister(std::uint8_t address);

// The value a register holds after power-on or reset: the table's default for the working
// set, 0x00 for the others. 0x00 above 0x15.
std::uint8_t ResetValue(std::uint8_t address);

// Registers the chip never changes on a write: identification, channel activity and the
// three error counters.
bool IsReadOnly(std::uint8_t address);

// Read All Registers and the register file walk the working set in these runs, in this order.
struct RegisterRun {
    std::uint8_t first;
    std::uint8_t last;
};
inline constexpr std::array<RegisterRun, 2> kWorkingSetRuns{{{0x00, 0x0C}, {0x10, 0x10}}};

// 0x00..0x0C, 0x10: the runs flattened.
std::vector<std::uint8_t> WorkingSetAddresses();

// Caption of label lblRegAdd(labelIndex), 0..18; nullopt otherwise.
std::optional<std::string_view> CaptionByLabelIndex(int labelIndex);

// Register behind dialog button buttonIndex, 0..13 (13 is 0x10); nullopt otherwise.
std::optional<std::uint8_t> AddressByButtonIndex(int buttonIndex);

// Caption of dialog button buttonIndex, 0..13; nullopt otherwise.
std::optional<std::string_view> ButtonCaption(int buttonIndex);

// Reference text of the register behind dialog button buttonIndex; empty outside 0..13.
std::span<const std::string_view> TextByButtonIndex(int buttonIndex);

// The four address characters "0x0C" that end a caption (before the closing parenthesis).
// Empty when the caption is too short to hold them.
std::string_view CaptionAddressText(std::string_view caption);

}  // namespace vrq::device
