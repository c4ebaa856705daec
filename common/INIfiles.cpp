#include "INIfiles.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Paths.h"
#include "Text.h"
#include "Wipe.h"

namespace zandrel {
namespace {

template <typename Char>
bool IsLineEnd(Char c) {
    return c == '\r' || c == '\n';
}

// One field as read. A quoted field that meets the end of the file before its closing quote is
// incomplete: it can still be compared, but no value can be built from it.
template <typename Char>
struct Field {
    std::basic_string_view<Char> text;
    bool complete = true;
};

// Hands out the fields of a settings file one by one. The delimiters are ASCII, which is never part
// of a longer character in the ANSI code pages (their trail bytes start at 0x40), in UTF-8 or in UTF-16.
template <typename Char>
class FieldReader {
  public:
    explicit FieldReader(std::basic_string_view<Char> text) : text_(text) {}

    // The next field, or nothing at the end of the file.
    std::optional<Field<Char>> Next() {
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        // Tabs in front of a field are skipped as blanks are: an indented file keeps its keys.
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
            ++pos_;
        }
        Field<Char> field;
        if (pos_ < text_.size() && text_[pos_] == '"') {
            // A quoted field runs to the next quote, line ends and commas included; whatever
            // follows the closing quote up to the field's end is dropped.
            const size_t start = pos_ + 1;
            const size_t close = text_.find(Char{'"'}, start);
            field.complete = close != std::basic_string_view<Char>::npos;
            const size_t end = field.complete ? close : text_.size();
            field.text = text_.substr(start, end - start);
            pos_ = field.complete ? close + 1 : text_.size();
            SkipToFieldEnd();
        } else {
            const size_t start = pos_;
            SkipToFieldEnd();
            field.text = text_.substr(start, pos_ - start);
        }
        SkipDelimiter();
        return field;
    }

  private:
    void SkipToFieldEnd() {
        while (pos_ < text_.size() && text_[pos_] != ',' && !IsLineEnd(text_[pos_])) {
            ++pos_;
        }
    }

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

    std::basic_string_view<Char> text_;
    size_t pos_ = 0;
};

// The characters of an ANSI file: bytes, one or more to a character as the code page has them.
class AnsiCharacters {
  public:
    using Char = char;
    explicit AnsiCharacters(const TextCodec& codec) : codec_(codec) {}

    std::size_t Length(std::string_view rest) const {
        return std::clamp<std::size_t>(codec_.AnsiCharacterLength(rest), 1, rest.size());
    }
    void AppendWide(std::string_view characters, std::u16string& wide) const {
        codec_.AppendWide(characters, wide);
    }
    // The value's bytes stay as they stand: whatever reached the calls before reaches them still.
    IniValue Value(std::string_view value) const {
        IniValue result;
        codec_.AppendWide(value, result.text);
        result.ansi = value;
        return result;
    }

  private:
    const TextCodec& codec_;
};

// The characters of a UTF-8 or UTF-16 file, decoded to UTF-16: one unit, or two for a surrogate pair.
class WideCharacters {
  public:
    using Char = char16_t;
    explicit WideCharacters(const TextCodec& codec) : codec_(codec) {}

    std::size_t Length(std::u16string_view rest) const { return WideCharacterLength(rest); }
    void AppendWide(std::u16string_view characters, std::u16string& wide) const { wide += characters; }
    IniValue Value(std::u16string_view value) const {
        IniValue result;
        result.text = value;
        result.exact = codec_.AppendAnsi(value, result.ansi);
        return result;
    }

  private:
    const TextCodec& codec_;
};

// The header and the key as the fields are compared with them: folded, and counted in characters.
struct Sought {
    std::u16string header;
    std::size_t headerLength = 0;
    std::u16string key;
    std::size_t keyLength = 0;
};

std::size_t CharacterCount(std::u16string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); at += WideCharacterLength(text.substr(at))) {
        ++count;
    }
    return count;
}

Sought FoldSought(std::string_view section, std::string_view key, const TextCodec& codec) {
    Sought sought;
    std::u16string plain;
    AppendUtf8AsWide("[", plain);
    AppendUtf8AsWide(section, plain);
    AppendUtf8AsWide("]", plain);
    sought.headerLength = CharacterCount(plain);
    codec.FoldCase(plain, sought.header);
    plain.clear();
    AppendUtf8AsWide(key, plain);
    sought.keyLength = CharacterCount(plain);
    codec.FoldCase(plain, sought.key);
    return sought;
}

// The scan over fields of one kind of text. The first characters of each field are decoded and
// folded into two buffers that are reused, so that what they held can be wiped at the end.
template <typename Characters>
class Scan {
  public:
    using Char = typename Characters::Char;
    using View = std::basic_string_view<Char>;

    Scan(const Characters& characters, const Sought& sought, const TextCodec& codec)
        : characters_(characters), sought_(sought), codec_(codec) {
        const std::size_t longest = std::max(sought.headerLength, sought.keyLength);
        // Room for the longest prefix in any form (a character is at most two units), so that the
        // buffers never move and leave a copy behind.
        decoded_.reserve(4 * longest + 16);
        folded_.reserve(4 * longest + 16);
    }
    ~Scan() {
        WipeText(decoded_);
        WipeText(folded_);
    }
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;

    IniValue Find(View text) {
        FieldReader<Char> fields(text);
        for (;;) {
            const auto field = fields.Next();
            if (!field) {
                return PlainValue(kNotFound);
            }
            if (IsHeader(TrimBlanks(field->text))) {
                break;
            }
        }
        // The key search runs on through any later sections, to the end of the file.
        while (const auto field = fields.Next()) {
            const View trimmed = TrimBlanks(field->text);
            const auto keyEnd = CharactersEnd(trimmed, sought_.keyLength);
            if (!keyEnd || !FoldsTo(trimmed.substr(0, *keyEnd), sought_.key)) {
                continue;
            }
            // A setting cut off by the end of the file has no value: taking the rest of the file
            // would hand out a password or host name that was never closed.
            if (!field->complete) {
                return IniValue{};
            }
            // Whatever single character follows the key is its separator, however many bytes it takes.
            const View rest = trimmed.substr(*keyEnd);
            return characters_.Value(rest.empty() ? rest : rest.substr(characters_.Length(rest)));
        }
        return PlainValue(kNotFound);
    }

  private:
    // The end of the first `count` characters of `text`, or nothing when it has fewer.
    std::optional<std::size_t> CharactersEnd(View text, std::size_t count) const {
        std::size_t at = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (at >= text.size()) {
                return std::nullopt;
            }
            at += characters_.Length(text.substr(at));
        }
        return at;
    }

    bool FoldsTo(View characters, const std::u16string& folded) {
        decoded_.clear();
        characters_.AppendWide(characters, decoded_);
        codec_.FoldCase(decoded_, folded_);
        return folded_ == folded;
    }

    bool IsHeader(View trimmed) {
        if (trimmed.empty() || trimmed.front() != '[' || trimmed.back() != ']') {
            return false;
        }
        const auto end = CharactersEnd(trimmed, sought_.headerLength);
        return end == trimmed.size() && FoldsTo(trimmed, sought_.header);
    }

    const Characters& characters_;
    const Sought& sought_;
    const TextCodec& codec_;
    std::u16string decoded_;
    std::u16string folded_;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool HasNonAscii(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void AppendUtf16LeAsWide(std::string_view bytes, std::u16string& wide) {
    // An odd last byte is half a character: it is dropped like any damaged end of a file.
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Appends to `bytes`; when it must grow, the old buffer is wiped before it is let go.
void AppendWiping(std::string& bytes, std::string_view more) {
    if (bytes.size() + more.size() > bytes.capacity()) {
        std::string grown;
        grown.reserve(std::max(2 * bytes.capacity(), bytes.size() + more.size()));
        grown += bytes;
        WipeText(bytes);
        bytes.swap(grown);
    }
    bytes += more;
}

}  // namespace

IniValue PlainValue(std::string_view ascii) {
    IniValue value;
    AppendUtf8AsWide(ascii, value.text);
    value.ansi = ascii;
    return value;
}

IniValue FindIniValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                      const TextCodec& codec) {
    const Sought sought = FoldSought(section, key, codec);
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
    const bool utf16 = StartsWith(fileBytes, kUtf16LeMark);
    const bool utf8 =
        !utf16 && (StartsWith(fileBytes, kUtf8Mark) || (HasNonAscii(fileBytes) && IsUtf8(fileBytes)));
    if (!utf16 && !utf8) {
        const AnsiCharacters characters(codec);
        return Scan<AnsiCharacters>(characters, sought, codec).Find(fileBytes);
    }
    // Reserved at its full size up front, so that the decoded text never moves and leaves a copy.
    std::u16string text;
    text.reserve(fileBytes.size());
    if (utf16) {
        AppendUtf16LeAsWide(fileBytes.substr(kUtf16LeMark.size()), text);
    } else {
        AppendUtf8AsWide(StartsWith(fileBytes, kUtf8Mark) ? fileBytes.substr(kUtf8Mark.size()) : fileBytes,
                         text);
    }
    const WideCharacters characters(codec);
    IniValue value = Scan<WideCharacters>(characters, sought, codec).Find(text);
    WipeText(text);
    return value;
}

std::optional<IniValue> ReadIniValue(std::string_view section, std::string_view key,
                                     std::string_view fileName, std::string_view directory,
                                     const TextCodec& codec) {
    const std::string path = JoinPath(directory, fileName);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    // Sized for the whole file at once where its size can be told, so that it is read without moving.
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0) {
            bytes.reserve(static_cast<std::size_t>(size));
        }
        std::fseek(file.get(), 0, SEEK_SET);
    }
    char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        AppendWiping(bytes, std::string_view(chunk, count));
    }
    WipeBytes(chunk, sizeof chunk);
    // A read error midway leaves what was read: the scan works on that and the value may stay absent.
    IniValue value = FindIniValue(bytes, section, key, codec);
    WipeText(bytes);
    std::optional<IniValue> result(std::move(value));
    WipeValue(value);
    return result;
}

}  // namespace zandrel
