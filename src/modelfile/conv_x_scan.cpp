// The engine's own read of an X file, before the platform's parser is given it: the file whole,
// unpacked when compressed, and walked token by token, each byte taken as the parser takes it.
// The walk refuses what the parser would end the process on or misread: objects nested thousands
// deep, a standard template's identifier declared again with another layout (the converter would
// take a number from the file for the address of a text), and names, strings and counts past the
// parser's fixed tables.
#include "core/win32.h"

#include "codecs/inflate.h"
#include "core/load_budget.h"
#include "modelfile/conv_x_internal.h"
#include "modelfile/converter_common.h"
#include "modelfile/converters.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
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
    kString,
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
    // Whether a token was refused for its length (it reads as kBad).
    bool PastLimit() const { return pastLimit_; }

protected:
    // A name or string, or kBad when longer than the parser keeps whole.
    Token Checked(Token t, std::size_t longest) {
        if (t.text.size() <= longest) return t;
        pastLimit_ = true;
        return Make(Kind::kBad);
    }

private:
    bool pastLimit_ = false;
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

// A number as the text form writes one: an optional sign, digits, maybe a point and more digits.
// Any other word is a name to the parser.
bool IsNumeral(std::string_view word) {
    if (!word.empty() && word[0] == '-') word.remove_prefix(1);
    const std::size_t point = word.find('.');
    const std::string_view whole = word.substr(0, point);
    const std::string_view part = point == std::string_view::npos ? "" : word.substr(point + 1);
    return word.size() > (point == std::string_view::npos ? 0u : 1u) &&
           whole.find_first_not_of("0123456789") == std::string_view::npos &&
           part.find_first_not_of("0123456789") == std::string_view::npos;
}

// The text form: comments run from '#' or "//" to the line's end, strings from '"' to the next,
// and anything else up to a separator is one word (names and numbers alike). The parser takes a
// NUL byte for a space, as it does tabs and line ends.
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
    static bool IsSpace(char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
    }
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
            if (IsSpace(c)) {
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
        const std::size_t end = text_.find('"', at_ + 1);
        if (end == std::string_view::npos) {
            at_ = text_.size();
            return Make(Kind::kBad);
        }
        const Token t = Make(Kind::kString, text_.substr(at_ + 1, end - at_ - 1));
        at_ = end + 1;
        return Checked(t, kLongestString);
    }
    // A word runs on from its first character (never a separator) to the next that ends it.
    Token Word() {
        const std::size_t start = at_++;
        while (at_ < text_.size() && !IsSeparator(text_[at_]) && text_[at_] != '"' &&
               !IsSpace(text_[at_]) && !CommentAt(at_))
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
        return Checked(t, IsNumeral(t.text) ? kLongestString : kLongestName);
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
            return Checked(Counted(1, Kind::kWord, t), kLongestName);
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
        const Token string = Counted(1, Kind::kString, t);
        if (string.kind == Kind::kBad || !Take(&terminator, 2) ||
            (terminator != 19 && terminator != 20))
            return t;
        return Checked(string, kLongestString);
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
XScan ReadDimensions(Tokens& tokens, const std::vector<std::string_view>& names,
                     std::string& member) {
    for (std::size_t count = 0;; ++count) {
        Token t = tokens.Next();
        if (t.kind == Kind::kSemicolon) return XScan::kReadable;
        if (t.kind != Kind::kOpenBracket) return XScan::kDamaged;
        if (count == kMostDimensions) return XScan::kPastLimit;
        t = tokens.Next();
        if (t.kind == Kind::kNumber) {
            member += "[" + std::to_string(t.number) + "]";
        } else if (t.kind == Kind::kWord) {
            std::size_t at = 0;
            while (at < names.size() && names[at] != t.text)
                ++at;
            member += at < names.size() ? "[#" + std::to_string(at) + "]" : "[?]";
        } else {
            return XScan::kDamaged;
        }
        if (tokens.Next().kind != Kind::kCloseBracket) return XScan::kDamaged;
    }
}

// Restrictions on the children, after their '[': templates named (each maybe with its GUID), or
// "...", up to the ']' and the template's closing brace.
XScan ReadRestrictions(Tokens& tokens) {
    std::size_t named = 0;
    for (;;) {
        const Token t = tokens.Next();
        if (t.kind == Kind::kCloseBracket)
            return tokens.Next().kind == Kind::kClose ? XScan::kReadable : XScan::kDamaged;
        if (t.kind == Kind::kEnd || t.kind == Kind::kBad || t.kind == Kind::kOpen ||
            t.kind == Kind::kClose)
            return XScan::kDamaged;
        const bool dots = t.text.find_first_not_of('.') == std::string_view::npos;
        if (t.kind == Kind::kWord && !dots && ++named > kMostRestrictions) return XScan::kPastLimit;
    }
}

// The members after a template's GUID, through its closing brace, as its layout.
XScan ReadMembers(Tokens& tokens, std::string& layout) {
    std::vector<std::string_view> names;
    for (;;) {
        Token t = tokens.Next();
        if (t.kind == Kind::kClose) return XScan::kReadable;
        if (t.kind == Kind::kOpenBracket) return ReadRestrictions(tokens);
        if (names.size() == kMostMembers) return XScan::kPastLimit;
        std::string member;
        if (t.kind == Kind::kArray) {
            member = "array ";
            t = tokens.Next();
        }
        if (t.kind != Kind::kPrimitive && t.kind != Kind::kWord) return XScan::kDamaged;
        member += t.kind == Kind::kPrimitive ? std::string(t.text) : LowerCase(t.text);
        const Token name = tokens.Next();
        if (name.kind != Kind::kWord) return XScan::kDamaged;
        const XScan dimensions = ReadDimensions(tokens, names, member);
        if (dimensions != XScan::kReadable) return dimensions;
        names.push_back(name.text);
        layout += member + ";";
    }
}

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
                ReadMembers(tokens, layout.members) == XScan::kReadable)
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

// A template the file declares: refused when the parser could not read it or hold it, or when it
// takes a standard template's GUID with another layout.
XScan CheckTemplate(Tokens& tokens) {
    GUID guid{};
    if (!ReadTemplateHead(tokens, guid)) return XScan::kDamaged;
    std::string members;
    const XScan verdict = ReadMembers(tokens, members);
    const Layout* standard = StandardLayout(guid);
    if (!standard || verdict == XScan::kPastLimit) return verdict;
    return verdict == XScan::kReadable && members == standard->members ? XScan::kReadable
                                                                       : XScan::kRedefined;
}

// The walk through the file: nesting, templates, the children of each object, the objects and
// string bytes under each top-level object, counted as the parser's tables count them, and the
// objects the readers reach in all, each reference counted with every object it leads to.
class Walker {
public:
    XScan Run(Tokens& tokens);

private:
    // An object, or a reference to one, open at some depth.
    struct Level {
        bool reference = false;
        bool first = false;       // the first object of its name, the one references lead to
        std::string_view name;    // the object's, or the one the reference names
        std::uint64_t reach = 1;  // objects reached through it, itself included
        std::size_t children = 0; // inline and referenced
    };

    XScan Open();
    XScan Close();
    XScan Reference(std::string_view name);
    XScan Template(Tokens& tokens);
    XScan String(std::size_t length);
    XScan Take(const Token& t, Tokens& tokens);

    int depth_ = 0;
    std::size_t templates_ = 0;
    std::size_t treeObjects_ = 0, treeStringBytes_ = 0;
    std::uint64_t reach_ = 0; // of the whole file
    Level levels_[kDeepestNesting + 1];
    // What the first object of each name reaches, once it is closed.
    std::unordered_map<std::string_view, std::uint64_t> named_;
    Token previous_, beforePrevious_;
};

// Counts add up to no more than one past the most the file may reach.
std::uint64_t AddReach(std::uint64_t a, std::uint64_t b) {
    return std::min<std::uint64_t>(a + b, kMostReached + 1);
}

// A brace opens an object (after its type and maybe its name) or a reference to one: a child of
// the object around it.
XScan Walker::Open() {
    if (depth_ == 0)
        treeObjects_ = treeStringBytes_ = 0;
    else if (++levels_[depth_].children > kMostChildren)
        return XScan::kPastLimit;
    if (++treeObjects_ > kMostTreeObjects) return XScan::kPastLimit;
    if (++depth_ > kDeepestNesting) return XScan::kTooDeep;
    Level& level = levels_[depth_];
    level = Level{};
    level.reference = previous_.kind != Kind::kWord;
    if (!level.reference && beforePrevious_.kind == Kind::kWord) {
        level.name = previous_.text;
        level.first = named_.emplace(level.name, 0).second;
    }
    return XScan::kReadable;
}

XScan Walker::Close() {
    if (depth_ == 0) return XScan::kDamaged;
    const Level& level = levels_[depth_--];
    if (level.first) named_[level.name] = level.reach;
    std::uint64_t& into = depth_ > 0 ? levels_[depth_].reach : reach_;
    into = AddReach(into, level.reach);
    return reach_ > kMostReached ? XScan::kPastLimit : XScan::kReadable;
}

// The name in a reference: the first object of that name, read again wherever it is reached.
// One that holds the reference would hold itself without end: the mesh loader follows it until
// the stack runs out.
XScan Walker::Reference(std::string_view name) {
    Level& level = levels_[depth_];
    level.name = name;
    for (int d = 1; d < depth_; ++d)
        if (levels_[d].first && levels_[d].name == name) return XScan::kEndless;
    const auto found = named_.find(name);
    if (found != named_.end()) level.reach = AddReach(level.reach, found->second);
    return XScan::kReadable;
}

XScan Walker::Template(Tokens& tokens) {
    if (depth_ != 0) return XScan::kDamaged;
    // The readers' standard templates share the parser's table with the file's own.
    if (++templates_ > kMostTemplates) return XScan::kPastLimit;
    return CheckTemplate(tokens);
}

XScan Walker::String(std::size_t length) {
    if (depth_ == 0) return XScan::kReadable;
    treeStringBytes_ += length + 1;
    return treeStringBytes_ > kMostTreeStringBytes ? XScan::kPastLimit : XScan::kReadable;
}

// One token of the file outside templates.
XScan Walker::Take(const Token& t, Tokens& tokens) {
    switch (t.kind) {
    case Kind::kBad:
        return XScan::kDamaged;
    case Kind::kOpen:
        return Open();
    case Kind::kClose:
        return Close();
    case Kind::kTemplate:
        return Template(tokens);
    case Kind::kString:
        return String(t.text.size());
    case Kind::kWord: {
        const Level& level = levels_[depth_];
        return depth_ > 0 && level.reference && level.name.empty() ? Reference(t.text)
                                                                   : XScan::kReadable;
    }
    default:
        return XScan::kReadable;
    }
}

XScan Walker::Run(Tokens& tokens) {
    for (Token t = tokens.Next(); t.kind != Kind::kEnd; t = tokens.Next()) {
        const XScan verdict = Take(t, tokens);
        if (verdict != XScan::kReadable) return verdict;
        // A template ends in its closing brace.
        beforePrevious_ = t.kind == Kind::kTemplate ? Make(Kind::kOpen) : previous_;
        previous_ = t.kind == Kind::kTemplate ? Make(Kind::kClose) : t;
    }
    return XScan::kReadable;
}

XScan Walk(Tokens& tokens) {
    const XScan verdict = Walker().Run(tokens);
    // A token too long for the parser ends the walk as a damaged one would.
    return verdict != XScan::kReadable && tokens.PastLimit() ? XScan::kPastLimit : verdict;
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
