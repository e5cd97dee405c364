// libFuzzer target for the register-file reader: any bytes a user may pick as a register file
// must give either a clean error or writes that obey the reader's promises.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "device/register_file.h"

namespace {

using vrq::device::FormatRegisterFile;
using vrq::device::LoadError;
using vrq::device::LoadErrorMessage;
using vrq::device::ParsedRegisterFile;
using vrq::device::ParseRegisterFile;
using vrq::device::SavedRegister;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::string Hex(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

int LineCount(std::string_view text) {
    int lines = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            ++lines;
        }
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const ParsedRegisterFile parsed = ParseRegisterFile(content);
    const std::string message = LoadErrorMessage(parsed);

    Check(message.empty() == (parsed.error == LoadError::None), "message iff error");
    if (parsed.error != LoadError::None) {
        Check(parsed.writes.empty(), "an error returns no writes");
    }
    if (parsed.error == LoadError::BadLine) {
        Check(parsed.errorLine >= 1 && parsed.errorLine <= LineCount(content),
              "error line in file");
        Check(std::string_view(parsed.errorText).starts_with("0x"), "bad item begins with 0x");
        Check(message.size() < 200, "message stays short");
    } else {
        Check(parsed.errorLine == 0 && parsed.errorText.empty(),
              "no error details without BadLine");
    }
    if (parsed.error == LoadError::NotRegisterFile) {
        Check(message == "File selected is not a valid VRQ66208A register file", "exact message");
    }

    // Writes come in file order; and what a save writes for them reads back the same.
    const int lines = LineCount(content);
    int previous = 1;
    std::vector<SavedRegister> saved;
    for (const auto& write : parsed.writes) {
        Check(write.line >= previous && write.line <= lines, "write lines ascend within the file");
        previous = write.line;
        saved.push_back({"0x" + Hex(write.address), Hex(write.value)});
    }
    const ParsedRegisterFile again = ParseRegisterFile(FormatRegisterFile(saved));
    Check(again.error == LoadError::None, "a saved file reads back");
    Check(again.writes.size() == parsed.writes.size(), "as many writes read back");
    for (std::size_t i = 0; i < again.writes.size(); ++i) {
        Check(again.writes[i].address == parsed.writes[i].address &&
                  again.writes[i].value == parsed.writes[i].value &&
                  again.writes[i].line == static_cast<int>(i) + 2,
              "the same writes read back");
    }
    return 0;
}
