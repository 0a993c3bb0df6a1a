#include "platform/ProfileFile.h"

#include "platform/Failure.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

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

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    void close() {
        const int fd = std::exchange(fd_, -1);
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
            throwSystemError(errno);
        }
    }

private:
    int fd_;
};

// Opens the settings file for reading; -1 when it does not exist.
int openExisting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return -1;
        }
        throwSystemError(errno);
    }
    struct stat info {};
    const int error = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (error != 0) {
        ::close(fd);
        throwSystemError(error);
    }
    return fd;
}

// Reads a file line by line, holding one chunk and one line at a time.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd), chunk_(kChunk) {}

    // The next line's bytes and its line end ("\r\n", "\n", "\r", or "" for a last line
    // without one). False at the end of the file.
    bool next(std::string& bytes, std::string& lineEnd) {
        bytes.clear();
        lineEnd.clear();
        if (!fill()) {
            return false;
        }
        while (fill()) {
            const char* begin = chunk_.data() + pos_;
            const char* stop = chunk_.data() + end_;
            const char* found =
                std::find_if(begin, stop, [](char c) { return c == '\n' || c == '\r'; });
            bytes.append(begin, found);
            pos_ = static_cast<std::size_t>(found - chunk_.data());
            if (found == stop) {
                continue;
            }
            const char ending = *found;
            ++pos_;
            if (ending == '\n') {
                lineEnd = "\n";
            } else if (fill() && chunk_[pos_] == '\n') {
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
            const ssize_t got = ::read(fd_, chunk_.data(), chunk_.size());
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwSystemError(errno);
            }
            pos_ = 0;
            end_ = static_cast<std::size_t>(got);
            if (got == 0) {
                return false;
            }
        }
        return true;
    }

    int fd_;
    std::vector<char> chunk_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

class Output {
public:
    explicit Output(int fd) : fd_(fd) {}

    void put(std::string_view bytes) {
        buffer_ += bytes;
        if (buffer_.size() >= kChunk) {
            flush();
        }
    }

    void flush() {
        std::size_t done = 0;
        while (done < buffer_.size()) {
            const ssize_t written = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwSystemError(errno);
            }
            done += static_cast<std::size_t>(written);
        }
        buffer_.clear();
    }

private:
    int fd_;
    std::string buffer_;
};

// Copies the file from in (-1 when there is none) to out with the key set to value.
void copyWithKey(int in, Output& out, std::string_view section, std::string_view key,
                 std::string_view value) {
    std::string lineEnd(kNewFileLineEnd);
    bool sectionSeen = false;
    bool inSection = false;
    bool done = false;
    bool lastLineEnded = true;
    // Blank, comment and other lines after the section's last key so far: a new key goes
    // before them, so that they stay with what follows.
    std::string held;
    const auto putNewKey = [&] {
        out.put(key);
        out.put("=");
        out.put(value);
        out.put(lineEnd);
    };
    if (in >= 0) {
        LineReader reader(in);
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
                out.put(held);
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
            out.put(bytes);
            out.put(end);
        }
    }
    if (done) {
        return;
    }
    if (held.empty() && !lastLineEnded) {
        out.put(lineEnd);
    }
    if (!inSection) {
        out.put("[");
        out.put(section);
        out.put("]");
        out.put(lineEnd);
    }
    putNewKey();
    out.put(held);
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

// Creates a new file beside target and names it in name.
int createTemporary(const std::string& target, std::string& name) {
    for (int attempt = 0;; ++attempt) {
        name = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        const int error = errno;
        if (error != EEXIST || attempt == 99) {
            name.clear();
            throwSystemError(error);
        }
    }
}

// Makes a rename in the directory durable. The rename has happened already, so a failure here
// changes nothing that can be reported.
void syncDirectoryOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : file.substr(0, slash);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
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

bool writePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
    if (!fitsTheFile(section, key, value)) {
        return false;
    }
    std::string temporary;
    try {
        const std::string target = replacedFile(path);
        const Descriptor in(openExisting(target));
        Descriptor out(createTemporary(target, temporary));
        struct stat old {};
        if (in.get() >= 0 && fstat(in.get(), &old) == 0) {
            // The new file keeps the old one's owner and permissions where the system allows.
            if (fchown(out.get(), old.st_uid, old.st_gid) != 0) {
                // It stays with the writer's owner.
            }
            fchmod(out.get(), old.st_mode & 07777);
        }
        Output output(out.get());
        copyWithKey(in.get(), output, section, key, value);
        output.flush();
        if (fsync(out.get()) != 0) {
            throwSystemError(errno);
        }
        out.close();
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            throwSystemError(errno);
        }
        temporary.clear();
        syncDirectoryOf(target);
        return true;
    } catch (const std::exception&) {
        if (!temporary.empty()) {
            ::unlink(temporary.c_str());
        }
        return false;
    }
}

} // namespace platform
