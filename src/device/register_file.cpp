#include "device/register_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "board/hex.h"
#include "device/register_map.h"

namespace vrq::device {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kRegisterPrefix = "0x";
constexpr std::string_view kLineEnd = "\r\n";
// An item shorter than this cannot hold "0x", two address digits, a separator and two value
// digits.
constexpr std::size_t kRegisterItemLength = 7;
// Longer items are cut in messages: only the first seven characters were examined anyway.
constexpr std::size_t kMessageItemLength = 60;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool EndsItem(char c) {
    return c == ',' || IsLineEnd(c);
}

struct Item {
    std::string_view text;
    int line;
};

// Splits the file into items the way the loader has always read them (see the header).
class ItemReader {
  public:
    explicit ItemReader(std::string_view content) : rest_(content) {}

    // False once the text is used up.
    bool Next(Item& item) {
        if (rest_.empty()) {
            return false;
        }
        item.line = line_;
        std::size_t pos = 0;
        while (pos < rest_.size() && IsBlank(rest_[pos])) {
            ++pos;
        }
        if (pos < rest_.size() && rest_[pos] == '"') {
            const std::size_t start = pos + 1;
            std::size_t end = start;
            while (end < rest_.size() && rest_[end] != '"' && !IsLineEnd(rest_[end])) {
                ++end;
            }
            item.text = rest_.substr(start, end - start);
            pos = end;
            while (pos < rest_.size() && !EndsItem(rest_[pos])) {
                ++pos;
            }
        } else {
            const std::size_t start = pos;
            while (pos < rest_.size() && !EndsItem(rest_[pos])) {
                ++pos;
            }
            std::size_t end = pos;
            while (end > start && IsBlank(rest_[end - 1])) {
                --end;
            }
            item.text = rest_.substr(start, end - start);
        }
        SkipTerminator(pos);
        return true;
    }

  private:
    void SkipTerminator(std::size_t pos) {
        if (pos < rest_.size()) {
            const char c = rest_[pos++];
            if (c == '\r' && pos < rest_.size() && rest_[pos] == '\n') {
                ++pos;
            }
            if (IsLineEnd(c)) {
                ++line_;
            }
        }
        rest_.remove_prefix(pos);
    }

    std::string_view rest_;
    int line_ = 1;
};

// Exactly two hexadecimal digits.
std::optional<std::uint8_t> HexByte(std::string_view text) {
    if (text.size() != 2 || !board::IsHexByteText(text)) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(board::ParseHexText(text));
}

std::optional<RegisterWrite> ReadRegisterItem(const Item& item) {
    if (item.text.size() < kRegisterItemLength) {
        return std::nullopt;
    }
    const auto address = HexByte(item.text.substr(2, 2));
    const auto value = HexByte(item.text.substr(5, 2));
    if (!address || !value) {
        return std::nullopt;
    }
    return RegisterWrite{*address, *value, item.line};
}

std::string ErrnoText() {
    return std::generic_category().message(errno);
}

// Closes the descriptor on every path; Close() reports the result when it matters.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Removes the temporary file unless it was renamed over the target.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    const std::string& path() const { return path_; }
    void Release() { path_.clear(); }

  private:
    std::string path_;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view content) {
    // Large writes are split so that one call never asks for more than the kernel will take.
    constexpr std::size_t kChunk = 1 << 20;
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), std::min(content.size(), kChunk));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::string FormatRegisterFile(std::span<const SavedRegister> registers) {
    std::string text;
    text.reserve(kRegisterFileHeader.size() + kLineEnd.size() +
                 registers.size() * (kRegisterItemLength + kLineEnd.size()));
    text += kRegisterFileHeader;
    text += kLineEnd;
    for (const auto& reg : registers) {
        text += reg.addressText;
        text += '\t';
        text += reg.valueText;
        text += kLineEnd;
    }
    return text;
}

std::vector<SavedRegister> WorkingSetFile(
    const std::function<std::string(std::uint8_t reg)>& valueOf) {
    std::vector<SavedRegister> lines;
    for (const std::uint8_t reg : WorkingSetAddresses()) {
        lines.push_back({board::Hex0x(reg), valueOf(reg)});
    }
    return lines;
}

ParsedRegisterFile ParseRegisterFile(std::string_view content) {
    ParsedRegisterFile parsed;
    if (content.starts_with(kUtf8Bom)) {
        content.remove_prefix(kUtf8Bom.size());
    }
    if (content.empty()) {
        parsed.error = LoadError::Empty;
        return parsed;
    }
    ItemReader reader(content);
    Item item;
    if (!reader.Next(item) || item.text != kRegisterFileHeader) {
        parsed.error = LoadError::NotRegisterFile;
        return parsed;
    }
    while (reader.Next(item)) {
        if (!item.text.starts_with(kRegisterPrefix)) {
            continue;
        }
        const auto write = ReadRegisterItem(item);
        if (!write) {
            parsed.error = LoadError::BadLine;
            parsed.errorLine = item.line;
            parsed.errorText = std::string(item.text);
            parsed.writes.clear();
            return parsed;
        }
        parsed.writes.push_back(*write);
    }
    return parsed;
}

std::string LoadErrorMessage(const ParsedRegisterFile& parsed) {
    switch (parsed.error) {
        case LoadError::None:
            return {};
        case LoadError::Empty:
            return "File selected is empty";
        case LoadError::NotRegisterFile:
            return "File selected is not a valid VRQ66208A register file";
        case LoadError::BadLine: {
            std::string text = parsed.errorText;
            if (text.size() > kMessageItemLength) {
                text.resize(kMessageItemLength);
                text += "...";
            }
            return "Line " + std::to_string(parsed.errorLine) +
                   " is not a valid register line: " + text;
        }
    }
    return {};
}

namespace {

// Whether the system would follow the link at path: in a sticky folder anyone may write to
// (/tmp), only a link that belongs to the user or to the folder's owner, so that another
// user cannot plant one there that points at a file of ours (the kernel's protected-symlink
// rule, which a link resolved by hand would otherwise bypass).
bool MayFollow(const std::string& path, const struct stat& link) {
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// Where a save through a symbolic link must go: the file the link chain ends at (which may
// not exist yet). rename() would replace the link itself with a plain file. Nothing, with
// error set, for a chain the system would not follow or that does not end.
std::optional<std::string> FollowLinks(std::string path, std::string& error) {
    constexpr int kMostLinks = 40;  // the kernel's own limit on a chain
    for (int hop = 0; hop < kMostLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        if (!MayFollow(path, st)) {
            error = path +
                    " is a link another user made in a folder shared with everyone: "
                    "not followed";
            return std::nullopt;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096), '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0) {
            return path;
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
    error = path + ": too many levels of symbolic links";
    return std::nullopt;
}

}  // namespace

bool CheckSaveTarget(const std::string& requested, std::string& error) {
    const auto path = FollowLinks(requested, error);
    if (!path) {
        return false;
    }
    // Only a regular file is replaced: never a FIFO, a device node (as root, /dev/null) or a
    // folder. A name that does not exist yet is made.
    struct stat st {};
    if (::stat(path->c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = *path + " is not a regular file: a register file is not saved over it";
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& requested, std::string_view content,
                         std::string& error) {
    if (!CheckSaveTarget(requested, error)) {
        return false;
    }
    const std::string path = *FollowLinks(requested, error);
    // The name is ours alone through O_EXCL; the counter tells apart saves of one process and
    // the retry steps over leftovers of a process that died with our process id.
    static std::atomic<unsigned> counter{0};
    std::string tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        // 0666 lets the umask decide a new file's permissions, as for any other new file.
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        error = "Cannot create a temporary file in " + FolderOf(path) + ": " + ErrnoText();
        return false;
    }
    TemporaryFile temp(tempPath);
    FileDescriptor file(fd);

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // Best effort: a replaced file keeps its owner and permissions (a change of owner
        // needs the right to it; without, the file becomes ours, as any editor's save does).
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int owned = ::fchown(file.get(), old.st_uid, old.st_gid);
        }
        ::fchmod(file.get(), old.st_mode & 07777);
    }
    if (!WriteAll(file.get(), content)) {
        error = "Cannot write " + path + ": " + ErrnoText();
        return false;
    }
    if (::fsync(file.get()) != 0) {
        error = "Cannot write " + path + ": " + ErrnoText();
        return false;
    }
    if (!file.Close()) {
        error = "Cannot write " + path + ": " + ErrnoText();
        return false;
    }
    if (::rename(temp.path().c_str(), path.c_str()) != 0) {
        error = "Cannot replace " + path + ": " + ErrnoText();
        return false;
    }
    temp.Release();

    // The rename itself lasts only once the folder is on disk; failing here loses nothing
    // that was there before, so it is not reported.
    FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
    return true;
}

LoadedRegisterFile LoadRegisterFile(const std::string& path) {
    using Status = LoadedRegisterFile::Status;
    LoadedRegisterFile loaded;
    // Without blocking (a FIFO would wait for a writer for ever, a device node might), and
    // only a regular file is read.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        loaded.status = Status::CannotRead;
        loaded.message = "Could not open " + path + std::string(kLineEnd) + ErrnoText();
        return loaded;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        loaded.status = Status::CannotRead;
        loaded.message =
            "Could not open " + path + std::string(kLineEnd) + "It is not a regular file.";
        return loaded;
    }
    // One byte more than the limit tells a file at the limit from a larger one.
    std::string content(kLargestRegisterFile + 1, '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(file.get(), content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            loaded.status = Status::CannotRead;
            loaded.message = "Could not read " + path + std::string(kLineEnd) + ErrnoText();
            return loaded;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got > kLargestRegisterFile) {
        loaded.status = Status::CannotRead;
        loaded.message = "File selected is too large to be a VRQ66208A register file";
        return loaded;
    }
    content.resize(got);
    loaded.parsed = ParseRegisterFile(content);
    switch (loaded.parsed.error) {
        case LoadError::None:
            break;
        case LoadError::Empty:
            loaded.status = Status::Empty;
            break;
        case LoadError::NotRegisterFile:
            loaded.status = Status::Invalid;
            loaded.message = LoadErrorMessage(loaded.parsed);
            break;
        case LoadError::BadLine:
            loaded.status = Status::Invalid;
            loaded.message = LoadErrorMessage(loaded.parsed) + std::string(kLineEnd) +
                             "No register was written.";
            break;
    }
    return loaded;
}

bool SaveRegisterFile(const std::string& path, std::span<const SavedRegister> registers,
                      std::string& message) {
    std::string reason;
    if (!WriteFileAtomically(path, FormatRegisterFile(registers), reason)) {
        message = "Could not save the registers to " + path + std::string(kLineEnd) + reason;
        return false;
    }
    return true;
}

}  // namespace vrq::device
