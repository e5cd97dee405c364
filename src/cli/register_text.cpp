#include "cli/register_text.h"

#include <sstream>

#include "board/hex.h"
#include "cli/numbers.h"
#include "device/register_decoder.h"
#include "device/register_map.h"

namespace vrq::cli {

std::string RegisterName(std::uint8_t address) {
    const device::RegisterInfo* info = device::FindRegister(address);
    if (info == nullptr || info->caption.empty()) {
        return {};
    }
    std::string_view name = info->caption.substr(0, info->caption.rfind('('));
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    return std::string(name);
}

std::string RegisterLabel(std::uint8_t address) {
    const std::string name = RegisterName(address);
    return "register " + Hex(address) + (name.empty() ? "" : " (" + name + ")");
}

std::string Explain(std::uint8_t address, std::uint8_t value, const std::string& indent) {
    const device::RegisterInfo* info = device::FindRegister(address);
    std::string text = Hex(address) + " = " + board::ByteToHex(value);
    if (info != nullptr && !info->caption.empty()) {
        text += "  " + std::string(info->caption);
    }
    text += "\n";
    std::istringstream fields(device::DescribeRegister(address, value));
    for (std::string line; std::getline(fields, line);) {
        text += indent + line + "\n";
    }
    return text;
}

void RegisterMembers(Json& json, std::uint8_t address, std::uint8_t value) {
    json.Key("register").Int(address).Key("name").String(RegisterName(address));
    json.Key("value").Int(value).Key("fields").BeginArray();
    for (const device::DecodedField& field : device::DecodeRegister(address, value)) {
        json.BeginObject()
            .Key("bits")
            .String(field.bits)
            .Key("name")
            .String(field.name)
            .Key("value")
            .Int(field.value)
            .Key("meaning")
            .String(field.meaning)
            .EndObject();
    }
    json.EndArray();
}

std::string DifferenceText(std::uint8_t address, std::uint8_t written, std::uint8_t read) {
    return RegisterLabel(address) + ": " + Hex(written) + " written, " + Hex(read) + " read back";
}

}  // namespace vrq::cli
