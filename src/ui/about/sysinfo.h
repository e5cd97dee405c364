// Finding the operating system's system-information tool for the About dialog. Plain C++: the
// decisions are tested with fake registries and fake program look-ups on any platform; only
// the real registry reader is Windows code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrq::ui {

// A program to start: the full path and its arguments (never through a shell).
struct ProgramCommand {
    std::string program;
    std::vector<std::string> arguments;
    bool operator==(const ProgramCommand&) const = default;
};

inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// ---- Windows: where MSINFO32 is recorded in the registry

inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;
inline constexpr std::uint32_t kKeyAllAccess = 0x2003F;
inline constexpr std::size_t kRegistryBufferSize = 1024;
inline constexpr std::uint32_t kRegSz = 1;     // string value
inline constexpr std::uint32_t kRegDword = 4;  // 32-bit little-endian number

inline constexpr const char* kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kSysInfoValue = "PATH";
inline constexpr const char* kSysInfoLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kSysInfoLocationValue = "MSINFO";
inline constexpr const char* kSysInfoExe = "\\MSINFO32.EXE";

class RegistryReader {
  public:
    virtual ~RegistryReader() = default;
    // Reads one value of key keyName below root as text into keyVal; true when it was read.
    // A failed read leaves keyVal empty; a value of a type that is neither text nor a 32-bit
    // number is read but leaves keyVal as the caller passed it.
    virtual bool GetKeyValue(std::uint32_t root, const std::string& keyName,
                             const std::string& subKeyRef, std::string& keyVal) = 0;
};

// Turns the raw bytes of a value read (already cut to the length the registry reported) into
// keyVal: a trailing zero byte is dropped, text is taken as it is, a 32-bit number is written
// in decimal, any other type leaves keyVal alone.
void ConvertRegistryValue(std::uint32_t type, std::span<const std::uint8_t> data,
                          std::string& keyVal);

// The tool's path as the registry records it: the PATH value first; otherwise the folder of
// the location key, if MSINFO32.EXE is there. nullopt when neither gives a file.
std::optional<std::string> FindSysInfoInRegistry(
    RegistryReader& registry, const std::function<bool(const std::string&)>& fileExists);

#ifdef _WIN32
// The real registry through RegOpenKeyExA / RegQueryValueExA / RegCloseKey.
std::unique_ptr<RegistryReader> MakeWindowsRegistryReader();
#endif

// ---- Other systems: a known system-information program on the search path

// The programs tried, in order of preference.
std::span<const ProgramCommand> SysInfoCandidates();

// The first candidate that findExecutable resolves (it returns the full path, or "" when the
// program is not installed); nullopt when none is.
std::optional<ProgramCommand> FindSysInfoProgram(
    const std::function<std::string(const std::string&)>& findExecutable);

}  // namespace vrq::ui
