// The engine's own read of an X file, before the platform's parser is given it: the file whole,
// unpacked when compressed, and walked token by token. The walk refuses what the parser would end
// the process on: objects nested thousands deep, and a standard template's identifier declared
// again with another layout (the converter would take a number from the file for the address of
// a text).
#include "core/win32.h"

#include "codecs/inflate.h"
#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ConvX {

namespace {

constexpr std::size_t kHeader = 16;
// Compressed files are unpacked here, checked as they go: the platform's own decompressor reads
// past damaged data.
constexpr std::size_t kLargestUnpacked = 256u << 20;
constexpr std::size_t kLargestChunk = 32768;

enum class Kind {
    kEnd,
    kBad,
    kOpen,
    kClose,
    kOpenBracket,
    kCloseBracket,
    kSemicolon,
    kGuid,
    kWord,
    kNumber,
    kTemplate,
    kArray,
    kPrimitive,
    kOther
};

struct Token {
    Kind kind = Kind::kEnd;
    std::string_view text; // a word's characters; a primitive type's name
    GUID guid{};
    std::uint32_t number = 0;
};

Token Make(Kind kind, std::string_view text = {}) {
    Token t;
    t.kind = kind;
    t.text = text;
    return t;
}

class Tokens {
public:
    virtual ~Tokens() = default;
    virtual Token Next() = 0;
};

// The primitive types of template members, as both forms of the format name them.
constexpr const char* kPrimitives[] = {"WORD",  "DWORD",  "FLOAT", "DOUBLE", "CHAR",    "UCHAR",
                                       "SWORD", "SDWORD", "VOID",  "STRING", "UNICODE", "CSTRING"};

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && _strnicmp(a.data(), b.data(), a.size()) == 0;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "<xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx>" as its GUID; false for anything else.
bool ParseGuid(std::string_view text, GUID& guid) {
    if (text.size() != 38 || text[0] != '<' || text[37] != '>') return false;
    std::uint8_t bytes[16] = {};
    int n = 0;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash != (text[i] == '-')) return false;
        if (dash) continue;
        const int digit = HexDigit(text[i]);
        if (digit < 0) return false;
        bytes[n / 2] = static_cast<std::uint8_t>(bytes[n / 2] << 4 | digit);
        ++n;
    }
    guid.Data1 = std::uint32_t{bytes[0]} << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid.Data4, bytes + 8, 8);
    return true;
}

// The text form: comments run from '#' or "//" to the line's end, strings from '"' to the next,
// and anything else up to a separator is one word (names and numbers alike).
class TextTokens : public Tokens {
public:
    explicit TextTokens(std::string_view text) : text_(text) {}
    Token Next() override {
        SkipSpace();
        Token t;
        if (at_ >= text_.size()) return t;
        const char c = text_[at_];
        if (c == '"') return String();
        if (c == '<' && ParseGuid(text_.substr(at_, 38), t.guid)) {
            at_ += 38;
            t.kind = Kind::kGuid;
            return t;
        }
        if (IsSeparator(c)) {
            ++at_;
            t.kind = SeparatorKind(c);
            return t;
        }
        return Word();
    }

private:
    static bool IsSeparator(char c) { return c != 0 && std::strchr("{}[]();,<>", c); }
    static Kind SeparatorKind(char c) {
        switch (c) {
        case '{':
            return Kind::kOpen;
        case '}':
            return Kind::kClose;
        case '[':
            return Kind::kOpenBracket;
        case ']':
            return Kind::kCloseBracket;
        case ';':
            return Kind::kSemicolon;
        default:
            return Kind::kOther;
        }
    }
    bool CommentAt(std::size_t i) const {
        return text_[i] == '#' || (text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '/');
    }
    void SkipSpace() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++at_;
            } else if (CommentAt(at_)) {
                const std::size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                return;
            }
        }
    }
    // A string without its closing quote is a file the parser cannot read either.
    Token String() {
        Token t;
        const std::size_t end = text_.find('"', at_ + 1);
        t.kind = end == std::string_view::npos ? Kind::kBad : Kind::kOther;
        at_ = end == std::string_view::npos ? text_.size() : end + 1;
        return t;
    }
    // A word runs on from its first character (never a separator) to the next that ends it.
    Token Word() {
        const std::size_t start = at_++;
        while (at_ < text_.size() && !IsSeparator(text_[at_]) && text_[at_] != '"' &&
               text_[at_] != ' ' && text_[at_] != '\t' && text_[at_] != '\r' &&
               text_[at_] != '\n' && !CommentAt(at_))
            ++at_;
        Token t;
        t.text = text_.substr(start, at_ - start);
        t.kind = Kind::kWord;
        if (SameText(t.text, "template")) t.kind = Kind::kTemplate;
        if (SameText(t.text, "array")) t.kind = Kind::kArray;
        for (const char* primitive : kPrimitives)
            if (SameText(t.text, primitive)) t = Make(Kind::kPrimitive, primitive);
        if (t.text.find_first_not_of("0123456789") == std::string_view::npos &&
            t.text.size() < 10) {
            t.kind = Kind::kNumber;
            for (char d : t.text)
                t.number = 10 * t.number + (d - '0');
        }
        return t;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// The binary form: two-byte tokens, some followed by their data. Floats are read four bytes wide
// whatever the header says, as the platform here reads them: the walk sees the tokens the parser
// will see.
class BinaryTokens : public Tokens {
public:
    BinaryTokens(const std::uint8_t* at, std::size_t size) : at_(at), end_(at + size) {}
    Token Next() override {
        Token t;
        std::uint16_t code = 0;
        if (at_ == end_) return t;
        t.kind = Kind::kBad;
        if (!Take(&code, 2)) return t;
        switch (code) {
        case 1: // a name
            return Counted(1, Kind::kWord, t);
        case 2: // a string, then its terminator
            return String(t);
        case 3: // an integer
            if (Take(&t.number, 4)) t.kind = Kind::kNumber;
            return t;
        case 5:
            if (Take(&t.guid, 16)) t.kind = Kind::kGuid;
            return t;
        case 6: // integer and float lists
        case 7:
            return Counted(4, Kind::kOther, t);
        case 10:
            return Make(Kind::kOpen);
        case 11:
            return Make(Kind::kClose);
        case 14:
            return Make(Kind::kOpenBracket);
        case 15:
            return Make(Kind::kCloseBracket);
        case 20:
            return Make(Kind::kSemicolon);
        case 31:
            return Make(Kind::kTemplate);
        case 52:
            return Make(Kind::kArray);
        default:
            break;
        }
        if (code >= 40 && code <= 51) return Make(Kind::kPrimitive, kPrimitives[code - 40]);
        // Parentheses, angle brackets, dot and comma.
        if (code >= 12 && code <= 19) return Make(Kind::kOther);
        return t; // a token the parser does not know either
    }

private:
    bool Take(void* to, std::size_t bytes) {
        if (static_cast<std::size_t>(end_ - at_) < bytes) return false;
        std::memcpy(to, at_, bytes);
        at_ += bytes;
        return true;
    }
    // A count, then count items of `each` bytes.
    Token Counted(std::size_t each, Kind kind, Token t) {
        std::uint32_t count = 0;
        if (!Take(&count, 4) || count > static_cast<std::size_t>(end_ - at_) / each) return t;
        t.text = std::string_view(reinterpret_cast<const char*>(at_), count * each);
        at_ += count * each;
        t.kind = kind;
        return t;
    }
    Token String(Token t) {
        std::uint16_t terminator = 0;
        if (Counted(1, Kind::kOther, t).kind == Kind::kBad || !Take(&terminator, 2) ||
            (terminator != 19 && terminator != 20))
            return t;
        t.kind = Kind::kOther;
        return t;
    }

    const std::uint8_t* at_;
    const std::uint8_t* end_;
};

// A template's members as one text: each member's type (primitive, or the template named, in
// lower case), whether it is an array, and its dimensions (a number, or the member giving it by
// position). Names of members and restrictions on children do not change how data is laid out.
struct Layout {
    GUID guid{};
    std::string members;
};

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// One member's dimensions, through its ';'.
bool ReadDimensions(Tokens& tokens, const std::vector<std::string_view>& names,
                    std::string& member) {
    for (;;) {
        Token t = tokens.Next();
        if (t.kind == Kind::kSemicolon) return true;
        if (t.kind != Kind::kOpenBracket) return false;
        t = tokens.Next();
        if (t.kind == Kind::kNumber) {
            member += "[" + std::to_string(t.number) + "]";
        } else if (t.kind == Kind::kWord) {
            std::size_t at = 0;
            while (at < names.size() && names[at] != t.text)
                ++at;
            member += at < names.size() ? "[#" + std::to_string(at) + "]" : "[?]";
        } else {
            return false;
        }
        if (tokens.Next().kind != Kind::kCloseBracket) return false;
    }
}

// The members after a template's GUID, through its closing brace; false for a declaration the
// parser would refuse, or one of more than mostMembers members (no standard template has more).
bool ReadMembers(Tokens& tokens, std::size_t mostMembers, std::string& layout) {
    std::vector<std::string_view> names;
    for (;;) {
        Token t = tokens.Next();
        if (t.kind == Kind::kClose) return true;
        if (t.kind == Kind::kOpenBracket) {
            // Restrictions on the children: up to their ']', then the end of the template.
            do
                t = tokens.Next();
            while (t.kind != Kind::kCloseBracket && t.kind != Kind::kEnd && t.kind != Kind::kBad &&
                   t.kind != Kind::kOpen && t.kind != Kind::kClose);
            return t.kind == Kind::kCloseBracket && tokens.Next().kind == Kind::kClose;
        }
        if (names.size() == mostMembers) return false;
        std::string member;
        if (t.kind == Kind::kArray) {
            member = "array ";
            t = tokens.Next();
        }
        if (t.kind != Kind::kPrimitive && t.kind != Kind::kWord) return false;
        member += t.kind == Kind::kPrimitive ? std::string(t.text) : LowerCase(t.text);
        const Token name = tokens.Next();
        if (name.kind != Kind::kWord || !ReadDimensions(tokens, names, member)) return false;
        names.push_back(name.text);
        layout += member + ";";
    }
}

// Tokens up to a template's closing brace; false when the file ends, or a brace opens, first.
bool SkipTemplate(Tokens& tokens) {
    for (;;) {
        const Kind kind = tokens.Next().kind;
        if (kind == Kind::kClose) return true;
        if (kind == Kind::kOpen || kind == Kind::kEnd || kind == Kind::kBad) return false;
    }
}

// No standard template has more members than this.
constexpr std::size_t kMostStandardMembers = 8;

// What follows "template": a name, '{' and the GUID; false for anything else.
bool ReadTemplateHead(Tokens& tokens, GUID& guid) {
    if (tokens.Next().kind != Kind::kWord || tokens.Next().kind != Kind::kOpen) return false;
    const Token t = tokens.Next();
    guid = t.guid;
    return t.kind == Kind::kGuid;
}

// The standard templates, as the converter registers them before every file.
const std::vector<Layout>& StandardLayouts() {
    static const std::vector<Layout> layouts = [] {
        std::vector<Layout> made;
        TextTokens tokens(std::string_view(TemplateText()).substr(kHeader));
        for (Token t = tokens.Next(); t.kind == Kind::kTemplate; t = tokens.Next()) {
            Layout layout;
            if (ReadTemplateHead(tokens, layout.guid) &&
                ReadMembers(tokens, kMostStandardMembers, layout.members))
                made.push_back(std::move(layout));
        }
        return made;
    }();
    return layouts;
}

const Layout* StandardLayout(const GUID& guid) {
    for (const Layout& layout : StandardLayouts())
        if (std::memcmp(&layout.guid, &guid, sizeof guid) == 0) return &layout;
    return nullptr;
}

// A template the file declares: refused when the parser could not read it, or when it takes a
// standard template's GUID with another layout. Any other is passed over whole.
XScan CheckTemplate(Tokens& tokens) {
    GUID guid{};
    if (!ReadTemplateHead(tokens, guid)) return XScan::kDamaged;
    const Layout* standard = StandardLayout(guid);
    if (!standard) return SkipTemplate(tokens) ? XScan::kReadable : XScan::kDamaged;
    std::string members;
    return ReadMembers(tokens, kMostStandardMembers, members) && members == standard->members
               ? XScan::kReadable
               : XScan::kRedefined;
}

XScan Walk(Tokens& tokens) {
    int depth = 0;
    for (;;) {
        const Token t = tokens.Next();
        switch (t.kind) {
        case Kind::kEnd:
            return XScan::kReadable;
        case Kind::kBad:
            return XScan::kDamaged;
        case Kind::kOpen:
            if (++depth > kDeepestNesting) return XScan::kTooDeep;
            break;
        case Kind::kClose:
            if (--depth < 0) return XScan::kDamaged;
            break;
        case Kind::kTemplate: {
            if (depth != 0) return XScan::kDamaged;
            const XScan verdict = CheckTemplate(tokens);
            if (verdict != XScan::kReadable) return verdict;
            break;
        }
        default:
            break;
        }
    }
}

// A compressed X file ("tzip" or "bzip") as the same file uncompressed ("txt " or "bin "): a
// header, the unpacked size, then chunks of (unpacked size, packed size, "CK", deflate data),
// each chunk able to refer back into the ones before. False for anything damaged.
bool UnpackCompressed(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& image) {
    if (file.size() < kHeader + 4) return false;
    const bool text = std::memcmp(&file[8], "tzip", 4) == 0;
    std::vector<std::uint8_t> data;
    std::size_t at = kHeader + 4;
    while (at < file.size()) {
        if (file.size() - at < 4) return false;
        const std::size_t unpacked = file[at] | (file[at + 1] << 8);
        const std::size_t packed = file[at + 2] | (file[at + 3] << 8);
        at += 4;
        if (packed < 2 || file.size() - at < packed || file[at] != 'C' || file[at + 1] != 'K' ||
            unpacked > kLargestChunk || data.size() + unpacked > kLargestUnpacked)
            return false;
        const std::size_t before = data.size();
        RequireLoad(unpacked);
        data.resize(before + unpacked);
        std::size_t produced = 0;
        // A chunk that ends before the size it claims keeps what it holds; the parser judges the
        // rest.
        if (!InflateRaw(&file[at + 2], packed - 2, data.data(), data.size(), before, &produced))
            return false;
        data.resize(before + produced);
        at += packed;
    }
    RequireLoad(kHeader + data.size());
    image.assign(file.begin(), file.begin() + kHeader);
    std::memcpy(&image[8], text ? "txt " : "bin ", 4);
    image.insert(image.end(), data.begin(), data.end());
    return true;
}

bool Compressed(const std::vector<std::uint8_t>& file) {
    return file.size() >= kHeader &&
           (std::memcmp(&file[8], "tzip", 4) == 0 || std::memcmp(&file[8], "bzip", 4) == 0);
}

} // namespace

XScan ReadXImage(const char* fileName, std::vector<std::uint8_t>& image) {
    image.clear();
    std::vector<std::uint8_t> file;
    if (!ReadModelFile(fileName, file) || file.empty()) return XScan::kUnread;
    if (!Compressed(file))
        image = std::move(file);
    else if (!UnpackCompressed(file, image))
        return XScan::kDamaged;
    return ScanXImage(image.data(), image.size());
}

bool ReadCheckedXFile(const char* fileName, std::vector<std::uint8_t>& image) {
    if (ReadXImage(fileName, image) == XScan::kReadable) return true;
    image.clear();
    return false;
}

XScan ScanXImage(const std::uint8_t* bytes, std::size_t size) {
    if (!bytes || size < kHeader || std::memcmp(bytes, "xof ", 4) != 0) return XScan::kDamaged;
    if (std::memcmp(bytes + 8, "txt ", 4) == 0) {
        TextTokens tokens(
            std::string_view(reinterpret_cast<const char*>(bytes) + kHeader, size - kHeader));
        return Walk(tokens);
    }
    if (std::memcmp(bytes + 8, "bin ", 4) == 0) {
        BinaryTokens tokens(bytes + kHeader, size - kHeader);
        return Walk(tokens);
    }
    return XScan::kDamaged;
}

} // namespace ConvX
