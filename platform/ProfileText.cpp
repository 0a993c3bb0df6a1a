#include "platform/ProfileText.h"

#include <algorithm>
#include <vector>

namespace platform::profile {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kNewFileLineEnd = "\r\n";
constexpr std::string_view kLineBreaking("\r\n\0", 3);

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

std::string_view valueOf(const Line& line) {
    std::string_view value = trim(line.text.substr(line.valueStart));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// The first line loses a UTF-8 byte-order mark.
std::string_view readable(std::string_view bytes, bool firstLine) {
    if (firstLine && bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    return bytes;
}

// Reads lines from a source, one chunk and one line at a time, or from text in memory.
class LineReader {
public:
    explicit LineReader(const ByteSource& source) : source_(&source), chunk_(kChunk) {}
    explicit LineReader(std::string_view text) : data_(text.data()), end_(text.size()) {}

    // The next line and its end ("\r\n", "\n", "\r", or ""); false at the end of the file.
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
            lineEnd.push_back(ending);
            if (ending == '\r' && fill() && data_[pos_] == '\n') {
                ++pos_;
                lineEnd.push_back('\n');
            }
            return true;
        }
        return true;
    }

private:
    // True when unread bytes are at hand.
    bool fill() {
        while (pos_ == end_) {
            if (source_ == nullptr) {
                return false;
            }
            const std::size_t got = (*source_)(chunk_.data(), chunk_.size());
            data_ = chunk_.data();
            pos_ = 0;
            end_ = got;
            if (got == 0) {
                return false;
            }
        }
        return true;
    }

    const ByteSource* source_ = nullptr;
    std::vector<char> chunk_;
    const char* data_ = nullptr;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

} // namespace

std::string withKey(const std::optional<std::string>& in, std::string_view section,
                    std::string_view key, std::string_view value) {
    std::string out;
    std::string lineEnd(kNewFileLineEnd);
    bool sectionSeen = false;
    bool inSection = false;
    bool done = false;
    bool lastLineEnded = true;
    // Non-key lines after the section's last key so far: a new key goes before them, so that
    // they stay with what follows.
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
        return out;
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
    return out;
}

std::optional<std::string> findValue(const ByteSource& source, std::string_view section,
                                     std::string_view key) {
    LineReader reader(source);
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
            return std::string(valueOf(line));
        }
    }
    return std::nullopt;
}

bool fitsTheFile(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view keyText = trim(key);
    return section.find_first_of(kLineBreaking) == std::string_view::npos &&
           key.find_first_of(kLineBreaking) == std::string_view::npos &&
           value.find_first_of(kLineBreaking) == std::string_view::npos &&
           section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           (keyText.empty() || (keyText.front() != ';' && keyText.front() != '['));
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

} // namespace platform::profile
