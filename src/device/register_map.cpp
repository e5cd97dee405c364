#include "device/register_map.h"

#include <algorithm>

namespace vrq::device {
namespace {

// Reference texts as the register definitions dialog shows them, one element per line. The
// wording, spelling and blanks are the product's own and are kept as they are.
constexpr std::array<std::string_view, 12> kText00{{
    "Register 0x00, Device ID and Revision",
    "This register is read only.",
    "Default value = 0x31",
    "",
    "Bits 7:4 is the Device ID",
    "     a value of 3 is VRQ66200",
    "",
    "Bits 3:0 is the Device revision",
    "     a value of 1 is initial silicon",
    "     a value of 2 is first revison of silicon",
    "     a value of 3... future revisions of silicon",
    "",
}};

constexpr std::array<std::string_view, 11> kText01{{
    "Register 0x01, Channel Activity",
    "This register is read only.",
    "Default value = 0x00",
    "",
    "Bits 7:4 are not used",
    "",
    "Bit 3 indicates the TMDS clock for channel D is active.",
    "Bit 2 indicates the TMDS clock for channel C is active.",
    "Bit 1 indicates the TMDS clock for channel B is active.",
    "Bit 0 indicates the TMDS clock for channel A is active.",
    "",
}};

constexpr std::array<std::string_view, 24> kText02{{
    "Register 0x02, Channel Select",
    "Default value = 0x0C",
    "",
    "Bits 7:6 are not used",
    "",
    "Bit 5 (Power Down) places the VRQ66200 in minimal power consumption mode, turning off all "
    "TMDS outputs and open-circuiting all TMDS inputs. This bit is ORed with the Power-down input "
    "pin. If either is set, the VRQ66200 will enter power-down. The two-wire interface stays "
    "operational during power-down mode.",
    "",
    "Bit 4 (Reset) This bit is normally low. When written high, the VRQ66200 will automatically "
    "clear this bit when the VRQ66200 reset has completed.",
    "",
    "Bit 3 (Hardware Channel Select) This bit is normally high. When high, the channel is selected "
    "by I/O pins, \"Auto-Channel Select\" and \"Ch_sel[1:0]\".",
    "When this bit is low, the channel selection is using bits [2:0] of this register.",
    "",
    "Bit 2 (Auto Channel Select) This bit is normally high. When high, the channel selection is "
    "based upon active channel detection. The channels are selected based upon a priority of "
    "channel 'A' being the highest priority, then channel 'B', channel 'C', and finally channel "
    "'D' at lowest priority.",
    "When this bit is low, channel selection is controlled by bits [1:0 of this register.",
    "",
    "Bit [1:0] (Channel Select) These two bits select the channel per the table below:",
    "  bit            1 0",
    "channel A  0 0",
    "channel B  0 1",
    "channel C  1 0",
    "channel D  1 1",
    "",
    "bits [1:0] are read only when channel selection is automatic.",
    "",
}};

constexpr std::array<std::string_view, 36> kText03{{
    "Register 0x03, Input Control",
    "",
    "Default value = 0x12",
    "",
    "Bit 7 (Recalibrate)",
    "This bit causes the Rx termination resistors to be recalibrated. To recalibrate the Rx "
    "termination resistors, take this bit high, wait for at least 1ms, then take this bit low.",
    "Calibration is automatically done after poer-on, so this function is not needed in normal "
    "opertion.",
    "",
    "Bit 6 (Rx Hysteresis Magnitude)",
    " A low sets the input hysterisis as 10mV.",
    " A high sets the input hysterisis as 20mV.",
    "",
    "Bit 5 (Rx Hysteresis)",
    "A low disables TMDS input hysteresis.",
    "A high enables TMDS input hysterisis. Hysteresis will reduce false activity detects on "
    "unconnected channels, but may reduce the ability to recover the poorest quality input "
    "signals.",
    "",
    "Bit 4 (Connection Check)",
    "A low disbles connection checking.",
    "A high enables connection checking. If there is not TMDS source connected to a clock input, "
    "the activity detect for that input is always negative. This is to prevent false triggering of "
    "activity detect fuction due to noise on unconnected inputs.",
    "",
    "Bit 3 (Tristate Selected Data In)",
    "A low has the selected data inputs terminated into 50/100 ohms.",
    "A high tristates the selected data inputs to allow the chip to operate in parallel with "
    "another TMDS receiver with fixed 50-ohm termination.",
    "",
    "Bit 2 (Tristate Selected Clock In)",
    "A low has the selected clock inputs terminated into 50/100 ohms.",
    "A high tristates the selected clock inputs to allow the chip to operate in parallel with "
    "another TMDS receiver with fixed 50-ohm termination.",
    "",
    "Bit 1 (Tri-state Unselected Data In)",
    "A low has the un-selected data inputs terminated into 50/100 ohms.",
    "A high tristates the un-selected data inputs to save power. Do not use this option in "
    "crosspoint configuration as we don't know what channels have been selected.",
    "",
    "Bit 0 (Tristate Unselected Clock In)",
    "A low has the un-selected clock inputs terminated into 50/100 ohms.",
    "A high tristates the un-selected clock inputs to save power. Do not use this option in "
    "crosspoint configuration as we don't know what channels have been selected.",
    "",
}};

constexpr std::array<std::string_view, 16> kText04{{
    "Register 0x04, Termination Control",
    "",
    "Default value = 0x00",
    "",
    "Bit 7 (DATA term Ch A)",
    "Bit 6 (DATA term Ch B)",
    "Bit 5 (DATA term Ch C)",
    "Bit 4 (DATA term Ch D)",
    "Bit 3 (CLK term Ch A)",
    "Bit 2 (CLK term Ch B)",
    "Bit 1 (CLK term Ch C)",
    "Bit 0 (CLK term Ch D)",
    "",
    "A low sets the input termination to 50-ohms (standard mode).",
    "A high sets the input termination to 100-ohms (Crosspoint mode).",
    "",
}};

constexpr std::array<std::string_view, 22> kText05{{
    "Register 0x05, Output Options",
    "",
    "Default value = 0x00",
    "",
    "Bit [7:4] (Not used)",
    "",
    "Bit 3 (Reverse Output Order)",
    "A low sets normal operation: CH0=>CH0, CH1=>CH1, and CH2=>CH2.",
    "A high crosses the channels so: CH0=>CH2, CH1=>CH1, and CH2=>CH1. This is necessary when "
    "paralleling two 4:1 muxes (one on top of the PCB and one on the bottom) to create an 8:1 mux.",
    "",
    "Bit 2 (Invert Output Polarity)",
    "A low sets normal output polarity.",
    "A high inverts the output polarity: +=>- and -=>+. This is necessary when paralleling two 4:1 "
    "muxes (one on top of the PCB and one on the bottom) to create an 8:1 mux.",
    "",
    "Bit 1 (Tristate Data)",
    "A low sets normal operation.",
    "A high tristates the data outputs allowing another chip to drive the output pins.",
    "",
    "Bit 0 (Tristate Clock)",
    "A low sets normal operation.",
    "A high tristates the clock outputs allowing another chip to drive the output pins.",
    "",
}};

constexpr std::array<std::string_view, 14> kText06{{
    "Register 0x06, Output Drive and PreEmphasis",
    "",
    "Default value = 0x00",
    "",
    "Bit [7:4] (Transmit PreEmphasis)",
    "A value of 0x0 is 0mA PreEmphasis output current.",
    "A value of 0xF is 1.875mA PreEmphasis output current.",
    "The PreEmphasis increases by 0.125mA for each increment in value.",
    "",
    "Bit [3:0] (Transmit Current)",
    "A value of 0x0 is 10mA output current.",
    "A value of 0xF is 11.875mA output current.",
    "The output current increases by 0.125mA for each increment in value.",
    "",
}};

constexpr std::array<std::string_view, 12> kText07{{
    "Register 0x07, Equalization for Channels B and A",
    "",
    "Default value = 0xCC",
    "",
    "Bit [7:4] (Rx Equalization Gain - Channel B)",
    "A value of 0x0 is minimum boost.",
    "A value of 0xF is maximum boost.",
    "",
    "Bit [3:0] (Rx Equalization Gain - Channel A)",
    "A value of 0x0 is minimum boost.",
    "A value of 0xF is maximum boost.",
    "",
}};

constexpr std::array<std::string_view, 12> kText08{{
    "Register 0x08, Equalization for Channels D and C",
    "",
    "Default value = 0xCC",
    "",
    "Bit [7:4] (Rx Equalization Gain - Channel D)",
    "A value of 0x0 is minimum boost.",
    "A value of 0xF is maximum boost.",
    "",
    "Bit [3:0] (Rx Equalization Gain - Channel C)",
    "A value of 0x0 is minimum boost.",
    "A value of 0xF is maximum boost.",
    "",
}};

constexpr std::array<std::string_view, 18> kText09{{
    "Register 0x09, Test Registers",
    "",
    "Default value = 0x00",
    "",
    "Bit [7:3] (Not used)",
    "",
    "Bit 2 (Enable PRBS Checker)",
    " When high, the PRBS counter registers (0x0A, 0x0B, and 0x0C) will count PRBS7 errors.",
    "",
    "Bit [1:0] (Test Pattern Generator)",
    "",
    " bit",
    " 1 0",
    " 0 0     Disabled",
    " 0 1     PRBS7 pattern generator",
    " 1 0     Low Frequency test pattern (0000011111...)",
    " 1 1     High Frequency test pattern (1010101010...)",
    "",
}};

constexpr std::array<std::string_view, 9> kText0A{{
    "Register 0x0A, PRBS7 Error counter Link 0",
    "",
    "Default value = 0x00",
    "",
    "Bits [7:0] (PRBS7 Error Counter Link 0)",
    "",
    "The counter saturates at 0xFF.",
    "Reading this register clears this register at end of the read.",
    "",
}};

constexpr std::array<std::string_view, 9> kText0B{{
    "Register 0x0B, PRBS7 Error counter Link 1",
    "",
    "Default value = 0x00",
    "",
    "Bits [7:0] (PRBS7 Error Counter Link 1)",
    "",
    "The counter saturates at 0xFF.",
    "Reading this register clears this register at end of the read.",
    "",
}};

constexpr std::array<std::string_view, 9> kText0C{{
    "Register 0x0C, PRBS7 Error counter Link 2",
    "",
    "Default value = 0x00",
    "",
    "Bits [7:0] (PRBS7 Error Counter Link 2)",
    "",
    "The counter saturates at 0xFF.",
    "Reading this register clears this register at end of the read.",
    "",
}};

constexpr std::array<std::string_view, 13> kText10{{
    "Register 0x10, PLL Settings",
    "",
    "Default value = 0x10",
    "",
    "Bit [7:2] (Reserved) Keep set to 000100 binary.",
    "",
    "Bit [1:0] (PLL Bandwidth) These two bits set the bandwidth of the PLL per the table below:",
    " bit          1 0",
    "4MHz     0 0",
    "2MHz     0 1",
    "1MHz     1 0",
    "100KHz  1 1",
    "",
}};
// What field values mean, as the chip's reference texts give it.
constexpr std::array<ValueText, 3> kDeviceIds{
    {{0, "unknown device"}, {3, "VRQ66200"}, {4, "unknown device"}}};
constexpr std::array<ValueText, 4> kRevisions{{{0, "unknown revision"},
                                               {1, "initial silicon"},
                                               {2, "first revision"},
                                               {3, "later revision"}}};
constexpr std::array<ValueText, 4> kChannels{
    {{0, "channel A"}, {1, "channel B"}, {2, "channel C"}, {3, "channel D"}}};
constexpr std::array<ValueText, 3> kBoost{
    {{0, "minimum boost"}, {1, "boost step {} of 15"}, {15, "maximum boost"}}};
constexpr std::array<ValueText, 4> kTestPatterns{
    {{0, "off"}, {1, "PRBS7"}, {2, "low-frequency pattern"}, {3, "high-frequency pattern"}}};
constexpr std::array<ValueText, 4> kErrorCounts{
    {{0, "{} errors"}, {1, "1 error"}, {2, "{} errors"}, {255, "255 errors (saturated)"}}};
constexpr std::array<ValueText, 4> kPllBandwidths{
    {{0, "4 MHz"}, {1, "2 MHz"}, {2, "1 MHz"}, {3, "100 kHz"}}};
// Single bits: what 0 and what 1 mean.
constexpr std::array<ValueText, 2> Bit(std::string_view zero, std::string_view one) {
    return {{{0, zero}, {1, one}}};
}
constexpr auto kClockPresent = Bit("no clock", "clock present");
constexpr auto kPowerDown = Bit("normal operation", "powered down");
constexpr auto kReset = Bit("normal", "reset in progress");
constexpr auto kHardwareSelect = Bit("by bits 2:0", "by pins");
constexpr auto kAutoSelect = Bit("by bits 1:0", "automatic, priority A to D");
constexpr auto kRecalibrating = Bit("idle", "recalibrating");
constexpr auto kHysteresis = Bit("10 mV", "20 mV");
constexpr auto kOffOn = Bit("off", "on");
constexpr auto kTristated = Bit("terminated", "tri-stated");
constexpr auto kTermination = Bit("50 ohms (standard mode)", "100 ohms (crosspoint mode)");
constexpr auto kOrder = Bit("normal order", "crossed order");
constexpr auto kPolarity = Bit("normal", "inverted");
constexpr auto kOutputTristated = Bit("normal", "tri-stated");

constexpr std::array<BitField, 2> kFields00{{
    {7, 4, "Device ID", Texts(kDeviceIds)},
    {3, 0, "Device revision", Texts(kRevisions)},
}};
constexpr std::array<BitField, 5> kFields01{{
    {7, 4, "Not used"},
    {3, 3, "Channel D clock active", Texts(kClockPresent)},
    {2, 2, "Channel C clock active", Texts(kClockPresent)},
    {1, 1, "Channel B clock active", Texts(kClockPresent)},
    {0, 0, "Channel A clock active", Texts(kClockPresent)},
}};
constexpr std::array<BitField, 6> kFields02{{
    {7, 6, "Not used"},
    {5, 5, "Power Down", Texts(kPowerDown)},
    {4, 4, "Reset", Texts(kReset)},
    {3, 3, "Hardware Channel Select", Texts(kHardwareSelect)},
    {2, 2, "Auto Channel Select", Texts(kAutoSelect)},
    {1, 0, "Channel Select", Texts(kChannels)},
}};
constexpr std::array<BitField, 8> kFields03{{
    {7, 7, "Recalibrate", Texts(kRecalibrating)},
    {6, 6, "Rx Hysteresis Magnitude", Texts(kHysteresis)},
    {5, 5, "Rx Hysteresis", Texts(kOffOn)},
    {4, 4, "Connection Check", Texts(kOffOn)},
    {3, 3, "Tristate Selected Data In", Texts(kTristated)},
    {2, 2, "Tristate Selected Clock In", Texts(kTristated)},
    {1, 1, "Tri-state Unselected Data In", Texts(kTristated)},
    {0, 0, "Tristate Unselected Clock In", Texts(kTristated)},
}};
constexpr std::array<BitField, 8> kFields04{{
    {7, 7, "DATA term Ch A", Texts(kTermination)},
    {6, 6, "DATA term Ch B", Texts(kTermination)},
    {5, 5, "DATA term Ch C", Texts(kTermination)},
    {4, 4, "DATA term Ch D", Texts(kTermination)},
    {3, 3, "CLK term Ch A", Texts(kTermination)},
    {2, 2, "CLK term Ch B", Texts(kTermination)},
    {1, 1, "CLK term Ch C", Texts(kTermination)},
    {0, 0, "CLK term Ch D", Texts(kTermination)},
}};
constexpr std::array<BitField, 5> kFields05{{
    {7, 4, "Not used"},
    {3, 3, "Reverse Output Order", Texts(kOrder)},
    {2, 2, "Invert Output Polarity", Texts(kPolarity)},
    {1, 1, "Tristate Data", Texts(kOutputTristated)},
    {0, 0, "Tristate Clock", Texts(kOutputTristated)},
}};
// 0x0 to 0xF: 0 to 1.875 mA of pre-emphasis and 10 to 11.875 mA of drive, 0.125 mA a step.
constexpr std::array<BitField, 2> kFields06{{
    {7, 4, "Transmit PreEmphasis", Current(0, 125)},
    {3, 0, "Transmit Current", Current(10000, 125)},
}};
constexpr std::array<BitField, 2> kFields07{{
    {7, 4, "Rx Equalization Gain - Channel B", Texts(kBoost)},
    {3, 0, "Rx Equalization Gain - Channel A", Texts(kBoost)},
}};
constexpr std::array<BitField, 2> kFields08{{
    {7, 4, "Rx Equalization Gain - Channel D", Texts(kBoost)},
    {3, 0, "Rx Equalization Gain - Channel C", Texts(kBoost)},
}};
constexpr std::array<BitField, 3> kFields09{{
    {7, 3, "Not used"},
    {2, 2, "Enable PRBS Checker", Texts(kOffOn)},
    {1, 0, "Test Pattern Generator", Texts(kTestPatterns)},
}};
constexpr std::array<BitField, 1> kFields0A{
    {{7, 0, "PRBS7 Error Counter Link 0", Texts(kErrorCounts)}}};
constexpr std::array<BitField, 1> kFields0B{
    {{7, 0, "PRBS7 Error Counter Link 1", Texts(kErrorCounts)}}};
constexpr std::array<BitField, 1> kFields0C{
    {{7, 0, "PRBS7 Error Counter Link 2", Texts(kErrorCounts)}}};
constexpr std::array<BitField, 2> kFields10{{
    {7, 2, "Reserved", Required(0b000100)},
    {1, 0, "PLL Bandwidth", Texts(kPllBandwidths)},
}};

// address, group, caption, label index, box index, button caption, button index, default,
// editable, bit fields, reference text. The named-only registers' labels sit on the test tab in
// an order of their own, hence label indices that differ from their addresses.
constexpr std::array<RegisterInfo, kRegisterCount> kRegisters{{
    {0x00, RegisterGroup::WorkingSet, "Device ID and Rev (0x00)", 0, 0x00, "Device ID and Revision",
     0, 0x31, false, kFields00, kText00},
    {0x01, RegisterGroup::WorkingSet, "Channel Activity (0x01)", 1, 0x01, "Channel Activity", 1,
     0x00, false, kFields01, kText01},
    {0x02, RegisterGroup::WorkingSet, "Channel Select  (0x02)", 2, 0x02, "Channel Select", 2, 0x0C,
     true, kFields02, kText02},
    {0x03, RegisterGroup::WorkingSet, "Input Control (0x03)", 3, 0x03, "Input Control", 3, 0x12,
     true, kFields03, kText03},
    {0x04, RegisterGroup::WorkingSet, "Termination Control (0x04)", 4, 0x04, "Termination Control",
     4, 0x00, true, kFields04, kText04},
    {0x05, RegisterGroup::WorkingSet, "Output Options (0x05)", 5, 0x05, "Output Options", 5, 0x00,
     true, kFields05, kText05},
    {0x06, RegisterGroup::WorkingSet, "Drive and PreEmphasis (0x06)", 6, 0x06,
     "Output Drive and PreEmphasis", 6, 0x00, true, kFields06, kText06},
    {0x07, RegisterGroup::WorkingSet, "Equalizer B and A (0x07)", 7, 0x07, "Equalization B and A",
     7, 0xCC, true, kFields07, kText07},
    {0x08, RegisterGroup::WorkingSet, "Equalizer D and C (0x08)", 8, 0x08, "Equalization D and C",
     8, 0xCC, true, kFields08, kText08},
    {0x09, RegisterGroup::WorkingSet, "Test Registers (0x09)", 9, 0x09, "Test Registers", 9, 0x00,
     true, kFields09, kText09},
    {0x0A, RegisterGroup::WorkingSet, "Error Counter Link0 (0x0A)", 10, 0x0A,
     "Error Counter - Link 0", 10, 0x00, false, kFields0A, kText0A},
    {0x0B, RegisterGroup::WorkingSet, "Error Counter Link1 (0x0B)", 11, 0x0B,
     "Error Counter - Link 1", 11, 0x00, false, kFields0B, kText0B},
    {0x0C, RegisterGroup::WorkingSet, "Error Counter Link2 (0x0C)", 12, 0x0C,
     "Error Counter - Link 2", 12, 0x00, false, kFields0C, kText0C},
    {0x0D, RegisterGroup::Unnamed, "", -1, 0x0D, "", -1, std::nullopt, false, {}, {}},
    {0x0E, RegisterGroup::Unnamed, "", -1, 0x0E, "", -1, std::nullopt, false, {}, {}},
    {0x0F, RegisterGroup::Unnamed, "", -1, 0x0F, "", -1, std::nullopt, false, {}, {}},
    {0x10, RegisterGroup::WorkingSet, "PLL Settings (0x10)", 16, 0x10, "PLL Settings", 13, 0x10,
     true, kFields10, kText10},
    {0x11,
     RegisterGroup::NamedOnly,
     "Termination Trim (0x11)",
     14,
     0x11,
     "",
     -1,
     std::nullopt,
     true,
     {},
     {}},
    {0x12,
     RegisterGroup::NamedOnly,
     "Misc. Powerdown (0x12)",
     15,
     0x12,
     "",
     -1,
     std::nullopt,
     true,
     {},
     {}},
    {0x13,
     RegisterGroup::NamedOnly,
     "Misc. Debug Control (0x13)",
     13,
     0x13,
     "",
     -1,
     std::nullopt,
     true,
     {},
     {}},
    {0x14,
     RegisterGroup::NamedOnly,
     "Misc Settings (0x14)",
     17,
     0x14,
     "",
     -1,
     std::nullopt,
     true,
     {},
     {}},
    {0x15,
     RegisterGroup::NamedOnly,
     "Misc Status (0x15)",
     18,
     0x15,
     "",
     -1,
     std::nullopt,
     true,
     {},
     {}},
}};

// A field's texts start at value 0 and rise, so that every value has one.
constexpr bool TextsCoverTheField(const BitField& f) {
    if (f.meaning.kind != MeaningKind::Texts) {
        return f.meaning.texts.empty();
    }
    unsigned from = 0;
    for (std::size_t i = 0; i < f.meaning.texts.size(); ++i) {
        if ((i == 0 && f.meaning.texts[i].from != 0) ||
            (i > 0 && f.meaning.texts[i].from <= from)) {
            return false;
        }
        from = f.meaning.texts[i].from;
    }
    return !f.meaning.texts.empty() && from < (2U << (f.high - f.low));
}

// The bit fields of a register run from bit 7 down to bit 0 without gaps or overlaps.
constexpr bool FieldsTileTheByte(std::span<const BitField> fields) {
    if (fields.empty()) {
        return true;
    }
    int next = 7;
    for (const BitField& f : fields) {
        if (f.high != next || f.low > f.high || !TextsCoverTheField(f)) {
            return false;
        }
        next = f.low - 1;
    }
    return next == -1;
}

constexpr bool TableIsConsistent() {
    for (std::size_t i = 0; i < kRegisters.size(); ++i) {
        const RegisterInfo& r = kRegisters[i];
        if (r.address != i || r.boxIndex != static_cast<int>(i) || !FieldsTileTheByte(r.fields)) {
            return false;
        }
        const bool working = r.group == RegisterGroup::WorkingSet;
        if (working != (r.buttonIndex >= 0) || working != r.defaultValue.has_value() ||
            working == r.fields.empty() || working == r.text.empty()) {
            return false;
        }
    }
    return true;
}
static_assert(TableIsConsistent());

}  // namespace

std::span<const RegisterInfo> AllRegisters() {
    return kRegisters;
}

std::uint8_t ResetValue(std::uint8_t address) {
    const RegisterInfo* reg = FindRegister(address);
    return reg != nullptr ? reg->defaultValue.value_or(0x00) : 0x00;
}

bool IsReadOnly(std::uint8_t address) {
    const RegisterInfo* reg = FindRegister(address);
    return reg != nullptr && reg->group == RegisterGroup::WorkingSet && !reg->editable;
}

const RegisterInfo* FindRegister(std::uint8_t address) {
    return address < kRegisters.size() ? &kRegisters[address] : nullptr;
}

std::vector<std::uint8_t> WorkingSetAddresses() {
    std::vector<std::uint8_t> addresses;
    for (const RegisterRun& run : kWorkingSetRuns) {
        for (unsigned a = run.first; a <= run.last; ++a) {
            addresses.push_back(static_cast<std::uint8_t>(a));
        }
    }
    return addresses;
}

std::optional<std::string_view> CaptionByLabelIndex(int labelIndex) {
    const auto it = std::find_if(kRegisters.begin(), kRegisters.end(), [&](const RegisterInfo& r) {
        return r.labelIndex >= 0 && r.labelIndex == labelIndex;
    });
    if (it == kRegisters.end()) {
        return std::nullopt;
    }
    return it->caption;
}

namespace {

const RegisterInfo* FindByButtonIndex(int buttonIndex) {
    const auto it = std::find_if(kRegisters.begin(), kRegisters.end(), [&](const RegisterInfo& r) {
        return r.buttonIndex >= 0 && r.buttonIndex == buttonIndex;
    });
    return it == kRegisters.end() ? nullptr : &*it;
}

}  // namespace

std::optional<std::uint8_t> AddressByButtonIndex(int buttonIndex) {
    const RegisterInfo* r = FindByButtonIndex(buttonIndex);
    if (r == nullptr) {
        return std::nullopt;
    }
    return r->address;
}

std::optional<std::string_view> ButtonCaption(int buttonIndex) {
    const RegisterInfo* r = FindByButtonIndex(buttonIndex);
    if (r == nullptr) {
        return std::nullopt;
    }
    return r->buttonCaption;
}

std::span<const std::string_view> TextByButtonIndex(int buttonIndex) {
    const RegisterInfo* r = FindByButtonIndex(buttonIndex);
    return r == nullptr ? std::span<const std::string_view>{} : r->text;
}

std::string_view CaptionAddressText(std::string_view caption) {
    // "...(0x0C)": the four characters before the closing parenthesis.
    if (caption.size() < 5) {
        return {};
    }
    return caption.substr(caption.size() - 5, 4);
}

}  // namespace vrq::device
