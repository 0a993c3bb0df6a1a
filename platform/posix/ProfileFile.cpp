#include "platform/ProfileFile.h"

#include "platform/Failure.h"
#include "platform/posix/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

using posix::Descriptor;
using posix::readAll;
using posix::writeAll;

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNewFileLineEnd = "\r\n";
constexpr std::string_view kLineBreaking("\r\n\0", 3);

// ---- The form of one line ----

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

enum class Kind { kOther, kSection, kKey };

// One line of the file as the reader sees it. The views point into the line's bytes.
struct Line {
    Kind kind = Kind::kOther;
    std::string_view text;      // the line up to its first NUL byte
    std::string_view name;      // of the section or the key
    std::size_t valueStart = 0; // key lines: offset in text just after "="
};

Line parseLine(std::string_view bytes) {
    Line line;
    line.text = bytes.substr(0, bytes.find('\0'));
    const std::string_view body = trim(line.text);
    if (body.empty() || body.front() == ';') {
        return line;
    }
    if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::kSection;
            line.name = trim(body.substr(1, close - 1));
        }
        return line;
    }
    const std::size_t equals = line.text.find('=');
    if (equals != std::string_view::npos) {
        line.kind = Kind::kKey;
        line.name = trim(line.text.substr(0, equals));
        line.valueStart = equals + 1;
    }
    return line;
}

// The value of a key line: without the blanks around it and one pair of enclosing quotes.
std::string_view valueOf(const Line& line) {
    std::string_view value = trim(line.text.substr(line.valueStart));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The bytes that the reader parses: the first line loses a UTF-8 byte-order mark.
std::string_view readable(std::string_view bytes, bool firstLine) {
    if (firstLine && bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    return bytes;
}

// ---- Files ----

// Opens the settings file for reading; -1 when it does not exist. The open does not wait, so
// that a pipe put in its place cannot stop the program, and anything but a regular file is
// refused, so that a device cannot feed it without end.
int openExisting(const std::string& path) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return -1;
        }
        throwSystemError(errno);
    }
    struct stat info {};
    if (fstat(file.get(), &info) != 0) {
        throwSystemError(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        throwSystemError(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        throwSystemError(errno);
    }
    return file.release();
}

// Reads a file line by line, holding one chunk and one line at a time; or reads the lines of
// text already in memory.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd), chunk_(kChunk) {}
    explicit LineReader(std::string_view text) : data_(text.data()), end_(text.size()) {}

    // The next line's bytes and its line end ("\r\n", "\n", "\r", or "" for a last line
    // without one). False at the end of the file.
    bool next(std::string& bytes, std::string& lineEnd) {
        bytes.clear();
        lineEnd.clear();
        if (!fill()) {
            return false;
        }
        while (fill()) {
            const char* begin = data_ + pos_;
            const char* stop = data_ + end_;
            const char* found =
                std::find_if(begin, stop, [](char c) { return c == '\n' || c == '\r'; });
            bytes.append(begin, found);
            pos_ = static_cast<std::size_t>(found - data_);
            if (found == stop) {
                continue;
            }
            const char ending = *found;
            ++pos_;
            if (ending == '\n') {
                lineEnd = "\n";
            } else if (fill() && data_[pos_] == '\n') {
                ++pos_;
                lineEnd = "\r\n";
            } else {
                lineEnd = "\r";
            }
            return true;
        }
        return true;
    }

private:
    // True when unread bytes are at hand.
    bool fill() {
        while (pos_ == end_) {
            if (fd_ < 0) {
                return false;
            }
            const ssize_t got = ::read(fd_, chunk_.data(), chunk_.size());
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwSystemError(errno);
            }
            data_ = chunk_.data();
            pos_ = 0;
            end_ = static_cast<std::size_t>(got);
            if (got == 0) {
                return false;
            }
        }
        return true;
    }

    int fd_ = -1;
    std::vector<char> chunk_;
    const char* data_ = nullptr;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

// Appends the file's text (none when the file does not exist) to out with the key set to
// value.
void copyWithKey(const std::optional<std::string>& in, std::string& out, std::string_view section,
                 std::string_view key, std::string_view value) {
    std::string lineEnd(kNewFileLineEnd);
    bool sectionSeen = false;
    bool inSection = false;
    bool done = false;
    bool lastLineEnded = true;
    // Blank, comment and other lines after the section's last key so far: a new key goes
    // before them, so that they stay with what follows.
    std::string held;
    const auto putNewKey = [&] {
        out += key;
        out += '=';
        out += value;
        out += lineEnd;
    };
    if (in) {
        LineReader reader(*in);
        std::string bytes;
        std::string end;
        for (bool first = true; reader.next(bytes, end); first = false) {
            if (first && !end.empty()) {
                lineEnd = end;
            }
            lastLineEnded = !end.empty();
            const Line line = parseLine(readable(bytes, first));
            if (inSection && !done) {
                if (line.kind == Kind::kOther) {
                    held += bytes;
                    held += end;
                    continue;
                }
                if (line.kind == Kind::kSection) {
                    putNewKey();
                    done = true;
                }
                out.append(held);
                held.clear();
                if (line.kind == Kind::kKey && sameName(line.name, key)) {
                    // Everything up to the value stays: indentation, the key as written,
                    // "=" and the blanks after it (these only in front of a value).
                    std::size_t keep =
                        static_cast<std::size_t>(line.text.data() - bytes.data()) + line.valueStart;
                    if (!value.empty()) {
                        while (keep < bytes.size() && kBlanks.find(bytes[keep]) != kBlanks.npos) {
                            ++keep;
                        }
                    }
                    bytes.resize(keep);
                    bytes += value;
                    done = true;
                }
            } else if (!sectionSeen && line.kind == Kind::kSection &&
                       sameName(line.name, section)) {
                sectionSeen = inSection = true;
            }
            out.append(bytes);
            out.append(end);
        }
    }
    if (done) {
        return;
    }
    if (held.empty() && !lastLineEnded) {
        out.append(lineEnd);
    }
    if (!inSection) {
        out.append("[");
        out.append(section);
        out.append("]");
        out.append(lineEnd);
    }
    putNewKey();
    out.append(held);
}

// A section, key or value that would break the lines of the file, or a key that would not
// be read back as a key.
bool fitsTheFile(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view keyText = trim(key);
    return section.find_first_of(kLineBreaking) == std::string_view::npos &&
           key.find_first_of(kLineBreaking) == std::string_view::npos &&
           value.find_first_of(kLineBreaking) == std::string_view::npos &&
           section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           (keyText.empty() || (keyText.front() != ';' && keyText.front() != '['));
}

// The file that a write replaces: the target of a symbolic link, so that the link stays.
std::string replacedFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(realpath(path.c_str(), nullptr),
                                                             &std::free);
    return target ? std::string(target.get()) : path;
}

std::string directoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
}

// The name under which a new settings file waits for its rename. It is always the same, so
// that a save stopped between naming and renaming leaves one spare file, which the next save
// replaces, rather than one more each time.
std::string temporaryName(const std::string& target) {
    return target + ".tmp";
}

// Gives the unnamed file open on fd the temporary name beside target, and returns the name.
std::string linkTemporary(int fd, const std::string& target) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const std::string name = temporaryName(target);
    ::unlink(name.c_str());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        throwSystemError(errno);
    }
    return name;
}

// Creates the new file under the temporary name beside target and names it in name.
int createTemporary(const std::string& target, std::string& name) {
    const std::string temporary = temporaryName(target);
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        throwSystemError(errno);
    }
    name = temporary;
    return fd;
}

// A settings file that the user has locked: the process may not write it, or it has no write
// permission for anyone, which a process of the superuser could write all the same. A rename
// needs only the directory to be writable, so such a file is refused before anything is made.
void refuseReadOnly(const std::string& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0) {
        return;
    }
    if ((info.st_mode & 0222) == 0) {
        throwSystemError(EACCES);
    }
    if (faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0) {
        throwSystemError(errno);
    }
}

// Makes a rename in the directory durable. The rename has happened already, so a failure here
// changes nothing that can be reported.
void syncDirectoryOf(const std::string& file) {
    const int fd = ::open(directoryOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

// Replaces target with a file holding content, flushed to disk first: a crash or a full disk
// leaves the old file or the new one, never a part. The new file is made without a name and
// named only when complete, so that a process killed while writing leaves nothing behind.
void replaceWith(const std::string& target, std::string_view content,
                 const std::optional<struct stat>& old) {
    std::string temporary;
    try {
        Descriptor out(::open(directoryOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        const bool anonymous = out.get() >= 0;
        if (!anonymous) {
            // A file system without unnamed files: the new file has its name from the start.
            out = Descriptor(createTemporary(target, temporary));
        }
        if (old) {
            // The new file keeps the old one's owner and permissions where the system allows.
            if (fchown(out.get(), old->st_uid, old->st_gid) != 0) {
                // It stays with the writer's owner.
            }
            fchmod(out.get(), old->st_mode & 07777);
        }
        writeAll(out.get(), content.data(), content.size());
        if (fsync(out.get()) != 0) {
            throwSystemError(errno);
        }
        if (anonymous) {
            temporary = linkTemporary(out.get(), target);
        }
        out.close();
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            throwSystemError(errno);
        }
        temporary.clear();
        syncDirectoryOf(target);
    } catch (const std::exception&) {
        if (!temporary.empty()) {
            ::unlink(temporary.c_str());
        }
        throw;
    }
}

std::size_t copyOut(std::string_view text, char* buffer, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t count = std::min(text.size(), size - 1);
    // An empty value may be a view without data: nothing is copied from it.
    std::copy_n(text.data(), count, buffer);
    buffer[count] = '\0';
    return count;
}

} // namespace

std::size_t getPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, char* buffer, std::size_t size,
                                    const std::string& path) {
    const Descriptor file(openExisting(path));
    if (file.get() < 0) {
        return copyOut(defaultValue, buffer, size);
    }
    LineReader reader(file.get());
    std::string bytes;
    std::string end;
    bool inSection = false;
    for (bool first = true; reader.next(bytes, end); first = false) {
        const Line line = parseLine(readable(bytes, first));
        if (line.kind == Kind::kSection) {
            if (inSection) {
                break;
            }
            inSection = sameName(line.name, section);
        } else if (inSection && line.kind == Kind::kKey && sameName(line.name, key)) {
            return copyOut(valueOf(line), buffer, size);
        }
    }
    return copyOut(defaultValue, buffer, size);
}

ProfileWrite::ProfileWrite(std::string path) : path_(std::move(path)) {}

ProfileWrite::~ProfileWrite() = default;

bool ProfileWrite::set(std::string_view section, std::string_view key, std::string_view value) {
    if (!fitsTheFile(section, key, value)) {
        return false;
    }
    if (!loaded_) {
        target_ = replacedFile(path_);
        const Descriptor in(openExisting(target_));
        if (in.get() >= 0) {
            content_ = readAll(in.get());
            struct stat info {};
            if (fstat(in.get(), &info) == 0) {
                owner_ = info;
            }
        }
        loaded_ = true;
    }
    std::string next;
    copyWithKey(content_, next, section, key, value);
    content_ = std::move(next);
    return true;
}

void ProfileWrite::commit() {
    if (!content_) {
        return;
    }
    refuseReadOnly(target_);
    replaceWith(target_, *content_, owner_);
}

void probeProfileFile(const std::string& path) {
    const Descriptor file(openExisting(path));
}

bool writePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
    try {
        ProfileWrite write(path);
        if (!write.set(section, key, value)) {
            return false;
        }
        write.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace platform
