#include "ui/about/sysinfo.h"

#include <array>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vrq::ui {

void ConvertRegistryValue(std::uint32_t type, std::span<const std::uint8_t> data,
                          std::string& keyVal) {
    if (!data.empty() && data.back() == 0) {
        data = data.first(data.size() - 1);
    }
    if (type == kRegSz) {
        keyVal.assign(data.begin(), data.end());
    } else if (type == kRegDword) {
        // Little-endian; a zero top byte was dropped above without changing the value.
        std::uint32_t value = 0;
        const std::size_t n = data.size() < 4 ? data.size() : 4;
        for (std::size_t i = n; i-- > 0;) {
            value = (value << 8) | data[i];
        }
        keyVal = std::to_string(value);
    }
}

std::optional<std::string> FindSysInfoInRegistry(
    RegistryReader& registry, const std::function<bool(const std::string&)>& fileExists) {
    std::string value;
    if (registry.GetKeyValue(kHkeyLocalMachine, kSysInfoKey, kSysInfoValue, value)) {
        return value;
    }
    if (!registry.GetKeyValue(kHkeyLocalMachine, kSysInfoLocationKey, kSysInfoLocationValue,
                              value)) {
        return std::nullopt;
    }
    std::string path = value + kSysInfoExe;
    if (!fileExists(path)) {
        return std::nullopt;
    }
    return path;
}

std::span<const ProgramCommand> SysInfoCandidates() {
    // Dedicated hardware/system reports first, a general system monitor last.
    static const std::array<ProgramCommand, 4> kCandidates{{
        {"hardinfo2", {}},
        {"hardinfo", {}},
        {"kinfocenter", {}},
        {"gnome-system-monitor", {}},
    }};
    return kCandidates;
}

std::optional<ProgramCommand> FindSysInfoProgram(
    const std::function<std::string(const std::string&)>& findExecutable) {
    for (const auto& candidate : SysInfoCandidates()) {
        std::string path = findExecutable(candidate.program);
        if (!path.empty()) {
            return ProgramCommand{std::move(path), candidate.arguments};
        }
    }
    return std::nullopt;
}

#ifdef _WIN32
namespace {

class WindowsRegistryReader : public RegistryReader {
  public:
    bool GetKeyValue(std::uint32_t root, const std::string& keyName, const std::string& subKeyRef,
                     std::string& keyVal) override {
        // The predefined roots are sign-extended handle values.
        const auto rootKey =
            reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
        HKEY key = nullptr;
        if (RegOpenKeyExA(rootKey, keyName.c_str(), 0, kKeyAllAccess, &key) != ERROR_SUCCESS) {
            keyVal.clear();
            return false;
        }
        std::array<std::uint8_t, kRegistryBufferSize> buffer{};
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(buffer.size());
        const LONG result =
            RegQueryValueExA(key, subKeyRef.c_str(), nullptr, &type, buffer.data(), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) {
            keyVal.clear();
            return false;
        }
        ConvertRegistryValue(type, std::span<const std::uint8_t>(buffer.data(), size), keyVal);
        return true;
    }
};

}  // namespace

std::unique_ptr<RegistryReader> MakeWindowsRegistryReader() {
    return std::make_unique<WindowsRegistryReader>();
}
#endif

}  // namespace vrq::ui
