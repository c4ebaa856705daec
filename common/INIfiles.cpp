#include "INIfiles.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <type_traits>

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

// A secret made by `fill`, which appends at most `most` characters to a scratch text: the scratch is
// on the heap from the start (beyond any small-string room), never moves, and is wiped on the way out.
template <typename Char, typename Fill>
BasicSecret<Char> MadeSecret(std::size_t most, Fill fill) {
    std::basic_string<Char> scratch;
    const WipeOnExit wipe(scratch);
    scratch.reserve(std::max<std::size_t>(most, 2 * sizeof scratch));
    fill(scratch);
    return BasicSecret<Char>(std::basic_string_view<Char>(scratch));
}

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
    SecretValue Secret(std::string_view value) const {
        SecretValue result;
        // A byte gives at most one UTF-16 unit.
        result.text =
            MadeSecret<char16_t>(value.size(), [&](std::u16string& wide) { codec_.AppendWide(value, wide); });
        result.ansi = zandrel::Secret(value);
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
    SecretValue Secret(std::u16string_view value) const {
        SecretValue result;
        result.text = WideSecret(value);
        // A UTF-16 unit gives at most three bytes (UTF-8), a pair four.
        result.ansi = MadeSecret<char>(
            3 * value.size(), [&](std::string& ansi) { result.exact = codec_.AppendAnsi(value, ansi); });
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

// What the scan found for the key: nothing, a setting cut off by the end of the file, or its value.
template <typename Char>
struct Found {
    enum class Kind { Absent, Cut, Value } kind = Kind::Absent;
    std::basic_string_view<Char> value;
};

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

    Found<Char> Find(View text) {
        using Kind = typename Found<Char>::Kind;
        FieldReader<Char> fields(text);
        for (;;) {
            const auto field = fields.Next();
            if (!field) {
                return {};
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
                return {Kind::Cut, {}};
            }
            // Whatever single character follows the key is its separator, however many bytes it takes.
            const View rest = trimmed.substr(*keyEnd);
            return {Kind::Value, rest.empty() ? rest : rest.substr(characters_.Length(rest))};
        }
        return {};
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

template <typename Value>
Value NotFoundValue() {
    if constexpr (std::is_same_v<Value, SecretValue>) {
        return {WideSecret(kNotFoundWide), Secret(kNotFound)};
    } else {
        return PlainValue(kNotFound);
    }
}

template <typename Value, typename Characters>
Value ScanFor(const Characters& characters, const Sought& sought, const TextCodec& codec,
              std::basic_string_view<typename Characters::Char> text) {
    const auto found = Scan<Characters>(characters, sought, codec).Find(text);
    using Kind = typename decltype(found)::Kind;
    if (found.kind == Kind::Absent) {
        return NotFoundValue<Value>();
    }
    if (found.kind == Kind::Cut) {
        return Value{};
    }
    if constexpr (std::is_same_v<Value, SecretValue>) {
        return characters.Secret(found.value);
    } else {
        return characters.Value(found.value);
    }
}

// What is read first when the file's size cannot be told.
constexpr std::size_t kFirstReadSize = 4096;

}  // namespace

IniValue PlainValue(std::string_view ascii) {
    IniValue value;
    AppendUtf8AsWide(ascii, value.text);
    value.ansi = ascii;
    return value;
}

template <typename Value>
Value FindIniValue(std::string_view fileBytes, std::string_view section, std::string_view key,
                   const TextCodec& codec) {
    const Sought sought = FoldSought(section, key, codec);
    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
    const bool utf16 = StartsWith(fileBytes, kUtf16LeMark);
    const bool utf8 =
        !utf16 && (StartsWith(fileBytes, kUtf8Mark) || (HasNonAscii(fileBytes) && IsUtf8(fileBytes)));
    if (!utf16 && !utf8) {
        return ScanFor<Value>(AnsiCharacters(codec), sought, codec, fileBytes);
    }
    // Reserved at its full size up front, so that the decoded text never moves and leaves a copy.
    std::u16string text;
    const WipeOnExit wipeText(text);
    text.reserve(fileBytes.size());
    if (utf16) {
        AppendUtf16LeAsWide(fileBytes.substr(kUtf16LeMark.size()), text);
    } else {
        AppendUtf8AsWide(StartsWith(fileBytes, kUtf8Mark) ? fileBytes.substr(kUtf8Mark.size()) : fileBytes,
                         text);
    }
    return ScanFor<Value>(WideCharacters(codec), sought, codec, std::u16string_view(text));
}

template <typename Value>
std::optional<Value> ReadIniValue(std::string_view section, std::string_view key, std::string_view fileName,
                                  std::string_view directory, const TextCodec& codec) {
    const std::string path = JoinPath(directory, fileName);
    // Declared before the file, so that it outlives the stream that reads into it.
    Secret bytes;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    // Unbuffered, the C runtime reads straight into our buffer: no buffer of its own is freed with the
    // file's text in it, and no copy of ours out of one passes the text through vector registers.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    // Sized for the whole file at once where its size can be told; a file that grows meanwhile grows
    // the buffer, which wipes what it leaves.
    std::size_t capacity = kFirstReadSize;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0) {
            capacity = static_cast<std::size_t>(size) + 1;
        }
        std::fseek(file.get(), 0, SEEK_SET);
    }
    bytes.Resize(capacity);
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) {
            bytes.Resize(2 * bytes.size());
        }
        const std::size_t count = std::fread(bytes.data() + length, 1, bytes.size() - length, file.get());
        if (count == 0) {
            break;
        }
        length += count;
    }
    // A read error midway leaves what was read: the scan works on that and the value may stay absent.
    return FindIniValue<Value>(std::string_view(bytes.data(), length), section, key, codec);
}

template IniValue FindIniValue<IniValue>(std::string_view, std::string_view, std::string_view,
                                         const TextCodec&);
template SecretValue FindIniValue<SecretValue>(std::string_view, std::string_view, std::string_view,
                                               const TextCodec&);
template std::optional<IniValue> ReadIniValue<IniValue>(std::string_view, std::string_view, std::string_view,
                                                        std::string_view, const TextCodec&);
template std::optional<SecretValue> ReadIniValue<SecretValue>(std::string_view, std::string_view,
                                                              std::string_view, std::string_view,
                                                              const TextCodec&);

}  // namespace zandrel
