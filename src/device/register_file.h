// The register file: a text file that keeps a set of register values. Writing, reading and
// checking it; no board access and no dialogs, so the GUI and the command-line tool share it.
//
// A saved file:
//   //VRQ66208A Register File
//   0x00<TAB>1A
//   ...
//   0x10<TAB>3F
// every line ending in CR LF.
//
// Reading accepts more than saving writes, as the loader always has:
// - The text is read item by item. An item ends at a line end (CR LF, LF or a lone CR) or at
//   a comma, so text after a comma is a further item on the same line.
// - The first item must equal the header exactly, letter case included.
// - Every further item that does not begin with exactly "0x" (lower-case x) is skipped: blank
//   lines, comments, "0X" lines.
// - In an item beginning with "0x", characters 3-4 are the register address and 6-7 the
//   value, both hexadecimal in either case. Character 5 is not examined and anything after
//   character 7 is ignored. Any address 0x00..0xFF is accepted; writes keep file order and
//   duplicates.
//
// Choices for what saved files never hold but hand-edited ones may:
// - Spaces and tabs around an item are dropped before it is examined, so "  0x04<TAB>55" is a
//   register line and a header with a trailing blank is still the header. Indenting a line
//   is not a reason to skip it silently.
// - An item that begins with a double quote runs to the closing quote, commas included, and
//   whatever follows the closing quote up to the item's end is dropped: a spreadsheet's
//   "0x04<TAB>55" reads as 0x04<TAB>55 (the header may be quoted too). A quote never spans a
//   line end, so line numbers stay those an editor shows.
// - The fields are positional and strict: "0x4 55" has "4 " where the address should be and
//   is a bad line, not register 0x04. Guessing at one-digit fields would turn a typing slip
//   into a write to the wrong register; a message naming the line is the safer answer.
// - A UTF-8 byte-order mark before the header is ignored: saved files never carry one, but
//   editors add it on save, and the file is otherwise plain 8-bit text.
// - An item beginning with "0x" whose address or value is missing, short or not hexadecimal
//   is a bad line. The whole file is checked before anything is written, so a bad line
//   anywhere means no writes at all.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrq::device {

inline constexpr std::string_view kRegisterFileHeader = "//VRQ66208A Register File";

// One saved line: the four address characters as they end the register's label caption
// ("0x0C") and the box text (normally two upper-case hex digits, written unchanged).
struct SavedRegister {
    std::string addressText;
    std::string valueText;
};

// Header then one "address<TAB>value" line per register, every line ending in CR LF.
std::string FormatRegisterFile(std::span<const SavedRegister> registers);

// The lines of a saved working set, in the order Read All reads it: each register's address
// ("0x0C") and the text valueOf gives for it (what its box shows, or the value read).
std::vector<SavedRegister> WorkingSetFile(
    const std::function<std::string(std::uint8_t reg)>& valueOf);

struct RegisterWrite {
    std::uint8_t address;
    std::uint8_t value;
    int line;  // 1-based file line the item starts on
};

enum class LoadError {
    None,
    Empty,            // no bytes at all (a byte-order mark alone counts as none)
    NotRegisterFile,  // the first item is not the header
    BadLine,          // an item beginning with "0x" has no valid address or value
};

struct ParsedRegisterFile {
    LoadError error = LoadError::None;
    int errorLine = 0;                  // 1-based line of a BadLine
    std::string errorText;              // that item's text, as examined
    std::vector<RegisterWrite> writes;  // in file order, duplicates kept
};

// Reads a whole file's bytes. Checks everything before anything is written: on any error,
// writes is empty. Items after a comma on the header line are register items like any other,
// so a write's line is 1 or more, and lines never decrease.
ParsedRegisterFile ParseRegisterFile(std::string_view content);

// Human message for a failed parse, e.g. "Line 5 is not a valid register line: 0xZZ\t55"
// (a very long item is cut short). NotRegisterFile gives exactly
// "File selected is not a valid VRQ66208A register file". Empty for LoadError::None.
std::string LoadErrorMessage(const ParsedRegisterFile& parsed);

// Whether path may be saved to: a regular file, or a name not yet taken, at the end of any
// links, followed as the system would follow them (in a sticky folder everyone may write to,
// only links of the user's or of the folder's owner). False with the reason otherwise: a
// FIFO, a device node, a folder, a link chain without end.
bool CheckSaveTarget(const std::string& path, std::string& error);

// Writes content to path through a temporary file in the same folder that is renamed over
// the target after an fsync, so a failed write leaves the old file whole. A path that is a
// symbolic link is saved to the link's target (the link stays a link); CheckSaveTarget's
// refusals are refused. A replaced file keeps
// its permission bits and, where the system allows, its owner; a new one gets the usual
// permissions (0666 less the umask). False with a reason on failure; the temporary file is
// then removed.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error);

// ---- Loading and saving as both programs do it. Messages join their lines with CR LF.

// Register files are a few hundred bytes; a file larger than this is not one, and reading it
// whole would only cost memory.
inline constexpr std::size_t kLargestRegisterFile = std::size_t{1} << 20;

struct LoadedRegisterFile {
    enum class Status {
        Ok,          // parsed.writes holds the registers to write, in file order
        Empty,       // nothing in the file: nothing to write
        CannotRead,  // the file could not be opened or read, or is too large: see message
        Invalid,     // not a register file, or a bad line (parsed.error says which): message
    };
    Status status = Status::Ok;
    ParsedRegisterFile parsed;
    std::string message;
};

// Reads the whole file (at most kLargestRegisterFile bytes) and checks it before anything
// is written. Opens without blocking and reads only a regular file. Messages: "Could not open PATH"
// or "Could not read PATH" and the system's reason; "File selected is too large to be a VRQ66208A
// register file"; LoadErrorMessage, with "No register was written." after a bad line.
LoadedRegisterFile LoadRegisterFile(const std::string& path);

// Formats and writes the registers atomically. False with the message "Could not save the
// registers to PATH" and the reason.
bool SaveRegisterFile(const std::string& path, std::span<const SavedRegister> registers,
                      std::string& message);

}  // namespace vrq::device
