#include "INIfiles.h"

#include <cstdio>
#include <memory>

#include "Paths.h"
#include "Text.h"

namespace zandrel {
namespace {

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// One field as read. A quoted field that meets the end of the file before its closing quote is
// incomplete: it can still be compared, but no value can be built from it.
struct Field {
    std::string_view text;
    bool complete = true;
};

// Hands out the fields of a settings file one by one.
class FieldReader {
  public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    // The next field, or nothing at the end of the file.
    std::optional<Field> Next() {
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        while (pos_ < text_.size() && text_[pos_] == ' ') {
            ++pos_;
        }
        Field field;
        if (pos_ < text_.size() && text_[pos_] == '"') {
            // A quoted field runs to the next quote, line ends and commas included; whatever
            // follows the closing quote up to the field's end is dropped.
            const size_t start = pos_ + 1;
            const size_t close = text_.find('"', start);
            field.complete = close != std::string_view::npos;
            const size_t end = field.complete ? close : text_.size();
            field.text = text_.substr(start, end - start);
            pos_ = field.complete ? close + 1 : text_.size();
            while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) {
                ++pos_;
            }
        } else {
            const size_t start = pos_;
            while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) {
                ++pos_;
            }
            field.text = text_.substr(start, pos_ - start);
        }
        SkipDelimiter();
        return field;
    }

  private:
    void SkipDelimiter() {
        if (pos_ >= text_.size()) {
            return;
        }
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
            pos_ += 2;
        } else {
            ++pos_;  // a comma, or a lone CR or LF
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
};

char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool FoldedEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsHeader(std::string_view field, std::string_view section) {
    const std::string_view trimmed = TrimBlanks(field);
    return trimmed.size() == section.size() + 2 && trimmed.front() == '[' && trimmed.back() == ']' &&
           FoldedEquals(trimmed.substr(1, section.size()), section);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string FindIniValue(std::string_view fileText, std::string_view section, std::string_view key) {
    FieldReader fields(fileText);
    for (;;) {
        const auto field = fields.Next();
        if (!field) {
            return std::string(kNotFound);
        }
        if (IsHeader(field->text, section)) {
            break;
        }
    }
    // The key search runs on through any later sections, to the end of the file.
    while (const auto field = fields.Next()) {
        const std::string_view trimmed = TrimBlanks(field->text);
        if (trimmed.size() >= key.size() && FoldedEquals(trimmed.substr(0, key.size()), key)) {
            // A setting cut off by the end of the file has no value: taking the rest of the file
            // would hand out a password or host name that was never closed.
            if (!field->complete) {
                return std::string();
            }
            // Whatever single character follows the key is its separator.
            return trimmed.size() <= key.size() + 1 ? std::string()
                                                    : std::string(trimmed.substr(key.size() + 1));
        }
    }
    return std::string(kNotFound);
}

std::optional<std::string> ReadIniValue(std::string_view section, std::string_view key,
                                        std::string_view fileName, std::string_view directory) {
    const std::string path = JoinPath(directory, fileName);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::string text;
    char chunk[16384];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        text.append(chunk, count);
    }
    // A read error midway leaves what was read: the scan works on that and the value may stay absent.
    return FindIniValue(text, section, key);
}

}  // namespace zandrel
