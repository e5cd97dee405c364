// Registers in the tool's words: names, decoded fields and read-back differences, as text and
// as JSON members.
#pragma once

#include <cstdint>
#include <string>

#include "cli/json.h"

namespace vrq::cli {

// "Input Control": the register's caption without its address; "" for registers without one.
std::string RegisterName(std::uint8_t address);
// "register 0x03 (Input Control)", or "register 0x0D".
std::string RegisterLabel(std::uint8_t address);

// "0x06 = 35  Drive and PreEmphasis (0x06)" and the register's fields, each on a line of its
// own after indent.
std::string Explain(std::uint8_t address, std::uint8_t value, const std::string& indent = "  ");

// The register's members of a JSON object: "register", "name", "value" and "fields" (each
// field's "bits", "name", "value" and "meaning").
void RegisterMembers(Json& json, std::uint8_t address, std::uint8_t value);

// "register 0x09 (Test Registers): 0xFF written, 0x07 read back".
std::string DifferenceText(std::uint8_t address, std::uint8_t written, std::uint8_t read);

}  // namespace vrq::cli
