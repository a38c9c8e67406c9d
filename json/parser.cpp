#include "json/parser.h"

#include "json/depth_guard.h"
#include "json/error.h"
#include "json/tree.h"
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvana::json {

namespace {

using detail::Arena;
using detail::RawMember;
using detail::RawValue;
using detail::ValueAccess;

// Once the error text holds this many characters, further lines are dropped (one closing line
// says so): each line may quote the rest of the text, so a long text with many problems would
// otherwise need memory quadratic in its length.
constexpr qsizetype kMaxErrorText = qsizetype(1) << 24;

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

// Scratch stacks larger than this are released after a parse instead of kept for the next.
constexpr size_t kKeptScratch = 4096;

// The failures that end the nearest enclosing container (the others are messages of their own).
enum class Failure : uint8_t { TypeMismatch, Overflow, DuplicateKey };

QStringView describe(Failure failure) noexcept {
    switch (failure) {
    case Failure::TypeMismatch:
        return u"Type mismatch";
    case Failure::Overflow:
        return u"Overflow";
    case Failure::DuplicateKey:
        return u"Duplicate key";
    }
    return {};
}

ErrorKind errorKind(Failure failure) noexcept {
    switch (failure) {
    case Failure::TypeMismatch:
        return ErrorKind::TypeMismatch;
    case Failure::Overflow:
        return ErrorKind::Overflow;
    case Failure::DuplicateKey:
        return ErrorKind::DuplicateKey;
    }
    return ErrorKind::TypeMismatch;
}

struct ParseState {
    QString errors;
    bool errorsCapped = false;
    int depth = 0;              // containers open
    bool stopped = false;       // the nesting limit was hit: every open container returns
    bool literalFailed = false; // the last ParseBoolean/ParseNull met a malformed literal
    // The members and items of the open containers, innermost last: each container is stored
    // once, at its exact size, when it closes.
    std::vector<RawMember> members;
    std::vector<RawValue> items;

    void reset() {
        errors.clear();
        errorsCapped = false;
        depth = 0;
        stopped = false;
        literalFailed = false;
        members.clear();
        items.clear();
    }

    void releaseScratch() {
        members.clear();
        items.clear();
        if (members.capacity() > kKeptScratch)
            std::vector<RawMember>().swap(members);
        if (items.capacity() > kKeptScratch)
            std::vector<RawValue>().swap(items);
    }
};

thread_local ParseState t_state;

void addLine(ParseState& t, std::initializer_list<QStringView> parts) {
    if (t.errorsCapped)
        return;
    qsizetype length = 2;
    for (QStringView part : parts)
        length += part.size();
    if (!t.errors.isEmpty() && t.errors.size() + length > kMaxErrorText) {
        t.errors += u"Too many errors, the rest were not recorded\r\n";
        t.errorsCapped = true;
        return;
    }
    t.errors.reserve(t.errors.size() + length);
    for (QStringView part : parts)
        t.errors += part;
    t.errors += u"\r\n";
}

// Whether SkipBlanks could move past this code unit (a blank or a comment character).
inline bool mayBeBlank(char16_t c) noexcept {
    switch (c) {
    case kCr:
    case kLf:
    case u'\t':
    case u' ':
    case u'(':
    case u')':
    case u'/':
    case u'*':
        return true;
    default:
        return false;
    }
}

bool isNumberChar(int c) noexcept {
    switch (c) {
    case u'+':
    case u'-':
    case u'.':
    case u'e':
    case u'E':
        return true;
    default:
        return c >= u'0' && c <= u'9';
    }
}

bool isKeyBlank(int c) noexcept {
    return c == kCr || c == kLf || c == u'\t' || c == u' ';
}

int hexDigit(char16_t c) noexcept {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The code unit an escape letter stands for, or -1 when the letter is not an escape.
int escapedUnit(int e) noexcept {
    switch (e) {
    case u'"':
    case u'\\':
    case u'/':
    case u'\'':
        return e;
    case u'b':
        return u'\b';
    case u'f':
        return u'\f';
    case u'n':
        return u'\n';
    case u'r':
        return u'\r';
    case u't':
        return u'\t';
    default:
        return -1;
    }
}

// The 0-based index of the first code unit from `from` equal to a or b, or size.
qsizetype findEither(const char16_t* data, qsizetype from, qsizetype size, char16_t a,
                     char16_t b) noexcept {
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi16(short(a));
    const __m128i wantB = _mm_set1_epi16(short(b));
    for (; i + 8 <= size; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i hit =
            _mm_or_si128(_mm_cmpeq_epi16(chunk, wantA), _mm_cmpeq_epi16(chunk, wantB));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == a || data[i] == b)
            return i;
    }
    return size;
}

// The code unit of a "u" escape at 1-based p (on the "u"): the leading hexadecimal digits of the
// (up to) 4 characters after it. Sets p past those 4 characters.
char16_t unicodeEscape(const char16_t* data, qsizetype size, qsizetype& p) noexcept {
    const qsizetype last = std::min(p + 4, size);
    unsigned value = 0;
    for (qsizetype k = p + 1; k <= last; ++k) {
        const int digit = hexDigit(data[k - 1]);
        if (digit < 0)
            break;
        value = value * 16 + unsigned(digit);
    }
    p = last + 1;
    return char16_t(value % 65536);
}

// Walks a string body from 1-based p to its closing quote (or the end), decoding escapes into
// out when it is given. Returns the number of code units decoded; p ends on the closing quote,
// or one past the end. Escape letters outside the table yield nothing and are read on the next
// pass as ordinary characters.
qsizetype walkString(const char16_t* data, qsizetype size, int quote, qsizetype& p,
                     char16_t* out) noexcept {
    // A quote that no code unit can equal (the step was entered at the end) never closes.
    const char16_t stop = quote < 0 ? u'\\' : char16_t(quote);
    qsizetype length = 0;
    while (p <= size) {
        const qsizetype run = findEither(data, p - 1, size, stop, u'\\') - (p - 1);
        if (out)
            std::memcpy(out + length, data + p - 1, size_t(run) * sizeof(char16_t));
        length += run;
        p += run;
        if (p > size)
            break;
        if (data[p - 1] != u'\\')
            break; // the closing quote
        ++p;
        const int e = p <= size ? int(data[p - 1]) : -1;
        if (e == u'u') {
            const char16_t unit = unicodeEscape(data, size, p);
            if (out)
                out[length] = unit;
            ++length;
            continue;
        }
        const int unit = escapedUnit(e);
        if (unit < 0)
            continue;
        if (out)
            out[length] = char16_t(unit);
        ++length;
        ++p;
    }
    return length;
}

// Plain integers and simple decimals (an optional "-", digits, optionally "." and digits; at
// most 19 digits) converted without the general reader; nullopt for anything else. The result
// is the one Decimal::fromText gives.
std::optional<Decimal> simpleDecimal(QStringView text) {
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    const bool negative = p != end && *p == u'-';
    if (negative)
        ++p;
    const char16_t* const digits = p;
    uint64_t value = 0;
    while (p != end && *p >= u'0' && *p <= u'9')
        value = value * 10 + uint64_t(*p++ - u'0');
    if (p == digits)
        return std::nullopt;
    qsizetype count = p - digits;
    int scale = 0;
    if (p != end && *p == u'.') {
        ++p;
        const char16_t* const fraction = p;
        const char16_t* lastNonZero = p;
        while (p != end && *p >= u'0' && *p <= u'9') {
            if (*p != u'0')
                lastNonZero = p + 1;
            ++p;
        }
        if (p == fraction)
            return std::nullopt;
        count += p - fraction;
        // Trailing fractional zeros do not count towards the scale.
        for (const char16_t* q = fraction; q != lastNonZero; ++q)
            value = value * 10 + uint64_t(*q - u'0');
        scale = int(lastNonZero - fraction);
    }
    if (p != end || count > 19)
        return std::nullopt;
    return Decimal::fromParts(negative, value, value == 0 ? 0 : scale);
}

// The text of a key or string value on the scratch stacks.
QStringView viewOf(const RawValue& raw) noexcept {
    return ValueAccess::stringView(raw);
}

// The elements of one container while it is read, on a shared scratch stack; they leave it when
// the container is stored, or when the scope is left early.
template <typename T> class ScratchScope {
public:
    explicit ScratchScope(std::vector<T>& stack) noexcept : m_stack(stack), m_base(stack.size()) {}
    ~ScratchScope() { m_stack.resize(m_base); }
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;

protected:
    [[nodiscard]] std::span<const T> elements() const noexcept {
        return std::span<const T>(m_stack).subspan(m_base);
    }
    void pop() noexcept { m_stack.resize(m_base); }

    std::vector<T>& m_stack;
    const size_t m_base;
};

// The members of one object while it is read.
class MemberScope : public ScratchScope<RawMember> {
public:
    using ScratchScope::ScratchScope;

    [[nodiscard]] bool contains(const RawValue& key) const noexcept {
        const QStringView wanted = viewOf(key);
        if (!m_index.empty())
            return m_index.find(wanted, keyAt()) >= 0;
        for (const RawMember& m : elements()) {
            if (viewOf(m.key) == wanted)
                return true;
        }
        return false;
    }

    // False, adding nothing, when the key is present.
    [[nodiscard]] bool add(const RawValue& key, const RawValue& value) {
        if (contains(key))
            return false;
        m_stack.push_back({key, value});
        const size_t count = m_stack.size() - m_base;
        if (!m_index.empty())
            m_index.insert(count - 1, keyAt());
        else if (count > detail::KeyIndex::kThreshold)
            m_index.rebuild(count, keyAt());
        return true;
    }

    [[nodiscard]] RawValue finish(Arena& arena) {
        const RawValue dictionary =
            ValueAccess::dictionary(&arena, detail::storeDictionary(arena, elements()));
        pop();
        return dictionary;
    }

private:
    // The key of the object's member i.
    struct KeyAt {
        const MemberScope* scope;
        QStringView operator()(size_t i) const noexcept {
            return viewOf(scope->m_stack[scope->m_base + i].key);
        }
    };
    [[nodiscard]] KeyAt keyAt() const noexcept { return {this}; }

    detail::KeyIndex m_index;
};

// The items of one array while it is read.
class ItemScope : public ScratchScope<RawValue> {
public:
    using ScratchScope::ScratchScope;

    void add(const RawValue& value) { m_stack.push_back(value); }

    [[nodiscard]] RawValue finish(Arena& arena) {
        const RawValue collection =
            ValueAccess::collection(&arena, detail::storeCollection(arena, elements()));
        pop();
        return collection;
    }
};

// One reading of a text: the steps over one shared 1-based position, building into one arena,
// which holds one reference of its own until the reader goes.
class Reader {
public:
    Reader(const QString& text, ParseState& state) noexcept
        : m_data(reinterpret_cast<const char16_t*>(text.constData())), m_size(text.size()),
          m_t(state) {}
    ~Reader() {
        if (m_arena)
            m_arena->release();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // raw as a value of its own.
    [[nodiscard]] Value give(const RawValue& raw) const noexcept {
        if (Arena* arena = ValueAccess::arenaOf(raw))
            arena->ref();
        return ValueAccess::adopt(raw);
    }

    // ch(p) of the algorithms: the code unit at 1-based p, or -1 (the empty string) outside.
    [[nodiscard]] int ch(qsizetype p) const noexcept {
        return p >= 1 && p <= m_size ? m_data[p - 1] : -1;
    }
    [[nodiscard]] bool atEnd(qsizetype p) const noexcept { return p > m_size; }

    // SkipBlanks, with the common case of no blank at all decided inline.
    void skipBlanks(qsizetype& p) const noexcept {
        if (p >= 1 && p <= m_size && !mayBeBlank(m_data[p - 1]))
            return;
        scanBlanks(p);
    }
    void scanBlanks(qsizetype& position) const noexcept;

    // Whether the container with that opener begins at p (after blanks); records the guard line
    // when it does not.
    [[nodiscard]] bool opens(qsizetype& p, char16_t opener);
    // The head of each pass of a container's loop: false when the container ends here, after its
    // closer (consumed) or at the end of the text (with its "Missing" line).
    [[nodiscard]] bool another(qsizetype& p, char16_t closer);
    // False when the value failed (failure() says how); p is left where the failure left it.
    [[nodiscard]] bool value(qsizetype& p, RawValue& out);
    [[nodiscard]] RawValue object(qsizetype& p);
    [[nodiscard]] RawValue key(qsizetype& p);
    [[nodiscard]] RawValue array(qsizetype& p);
    [[nodiscard]] RawValue string(qsizetype& p);
    [[nodiscard]] bool number(qsizetype& p, RawValue& out);
    [[nodiscard]] bool boolean(qsizetype& p);
    [[nodiscard]] RawValue null(qsizetype& p);

    [[nodiscard]] Failure failure() const noexcept { return m_failure; }
    [[nodiscard]] Arena& arena() {
        if (!m_arena)
            m_arena = Arena::create(std::clamp<size_t>(size_t(m_size) * 2, 256, size_t(1) << 20));
        return *m_arena;
    }

private:
    // The rest of the text from p.
    [[nodiscard]] QStringView restFrom(qsizetype p) const noexcept {
        if (p < 1)
            p = 1;
        if (p > m_size)
            return {};
        return QStringView(m_data + p - 1, m_size - p + 1);
    }
    // The 20 characters from p, fewer near the end.
    [[nodiscard]] QStringView twentyFrom(qsizetype p) const noexcept {
        return restFrom(p).left(20);
    }
    // The last 20 characters of the whole text.
    [[nodiscard]] QStringView lastTwenty() const noexcept {
        return QStringView(m_data, m_size).right(20);
    }
    // Whether the literal stands in the text at 1-based p (exactly, case included).
    [[nodiscard]] bool literalAt(qsizetype p, std::u16string_view literal) const noexcept {
        if (p < 1 || m_size - (p - 1) < qsizetype(literal.size()))
            return false;
        return std::equal(literal.begin(), literal.end(), m_data + (p - 1));
    }
    [[nodiscard]] bool fail(Failure failure) noexcept {
        m_failure = failure;
        return false;
    }
    [[nodiscard]] bool readSimpleKey(qsizetype& position, RawValue& key);
    [[nodiscard]] RawValue stringFrom(QStringView units);

    const char16_t* m_data;
    qsizetype m_size;
    ParseState& m_t;
    Arena* m_arena = nullptr;
    Failure m_failure = Failure::TypeMismatch;
};

void Reader::scanBlanks(qsizetype& position) const noexcept {
    bool pending = false;
    bool inComment = false;
    bool block = false;
    qsizetype p = position < 1 ? 1 : position;
    if (p > m_size)
        return;
    while (p <= m_size) {
        const char16_t c = m_data[p - 1];
        switch (c) {
        case kCr:
        case kLf:
            if (!block) {
                pending = false;
                inComment = false;
            }
            break;
        case u'\t':
        case u' ':
        case u'(':
        case u')':
            break;
        case u'/':
            if (block) {
                if (pending) {
                    block = false;
                    pending = false;
                    inComment = false;
                }
            } else if (pending) {
                pending = false;
                inComment = true;
            } else {
                pending = true;
                inComment = false;
            }
            break;
        case u'*':
            if (pending) {
                pending = false;
                inComment = true;
                block = true;
            } else {
                pending = true;
            }
            break;
        default:
            if (!inComment) {
                position = p;
                return;
            }
            break;
        }
        ++p;
    }
    position = p;
}

bool Reader::opens(qsizetype& p, char16_t opener) {
    skipBlanks(p);
    if (ch(p) == opener)
        return true;
    // The callers only enter a container step at its opener; a test may enter elsewhere.
    if (opener == u'{')
        addLine(m_t, {u"Invalid Object at position ", QString::number(p), u" : ", restFrom(p)});
    else
        addLine(m_t, {u"Invalid Array at position ", QString::number(p), u" : ", twentyFrom(p)});
    return false;
}

bool Reader::another(qsizetype& p, char16_t closer) {
    skipBlanks(p);
    const int c = ch(p);
    if (c == closer) {
        ++p;
        return false;
    }
    if (c == u',') {
        // Straight to the element: no test for the closer or for the end follows a comma.
        ++p;
        skipBlanks(p);
    } else if (atEnd(p)) {
        addLine(m_t, {closer == u'}' ? u"Missing '}': " : u"Missing ']': ", lastTwenty()});
        return false;
    }
    return true;
}

bool Reader::value(qsizetype& p, RawValue& out) {
    skipBlanks(p);
    switch (ch(p)) {
    case u'{':
    case u'[':
        if (m_t.depth >= kMaxNesting) {
            addLine(m_t, {u"Nesting too deep at position ", QString::number(p)});
            m_t.stopped = true;
            out = ValueAccess::empty();
            return true;
        }
        out = ch(p) == u'{' ? object(p) : array(p);
        return true;
    case u'"':
    case u'\'':
        out = string(p);
        return true;
    case u't':
    case u'f':
        out = ValueAccess::boolean(boolean(p));
        return true;
    case u'n':
        out = null(p);
        return true;
    default:
        return number(p, out);
    }
}

RawValue Reader::object(qsizetype& p) {
    if (!opens(p, u'{'))
        return MemberScope(m_t.members).finish(arena());
    const detail::DepthGuard open(m_t.depth);
    MemberScope members(m_t.members);
    ++p;
    while (another(p, u'}')) {
        const RawValue name = key(p);
        RawValue member;
        const bool read = value(p, member);
        m_t.literalFailed = false;
        if (!read) {
            addLine(m_t, {describe(m_failure), u": ", viewOf(name)});
            return members.finish(arena());
        }
        if (m_t.stopped) {
            // The refused container is not added, a partly built one is; no message.
            if (!ValueAccess::isEmpty(member))
                (void)members.add(name, member);
            return members.finish(arena());
        }
        if (!members.add(name, member)) {
            addLine(m_t, {describe(Failure::DuplicateKey), u": ", viewOf(name)});
            return members.finish(arena());
        }
    }
    return members.finish(arena());
}

// A key that is one run of ordinary characters, bare or in one pair of quotes, followed by ":"
// (after blanks when quoted): read straight from the text. Anything else is left to the general
// loop, which starts from the same position, so nothing here is observable.
bool Reader::readSimpleKey(qsizetype& position, RawValue& key) {
    if (position < 1 || position > m_size)
        return false;
    const char16_t first = m_data[position - 1];
    const bool quoted = first == u'"' || first == u'\'';
    qsizetype p = quoted ? position + 1 : position;
    const qsizetype start = p;
    while (p <= m_size) {
        const char16_t c = m_data[p - 1];
        if (c == u'"' || c == u'\'' || c == u':' || isKeyBlank(c))
            break;
        ++p;
    }
    const qsizetype end = p;
    if (quoted) {
        if (p > m_size || m_data[p - 1] != first)
            return false;
        ++p;
        skipBlanks(p);
    }
    if (p > m_size || m_data[p - 1] != u':')
        return false;
    key = stringFrom(QStringView(m_data + start - 1, end - start));
    position = p + 1;
    return true;
}

RawValue Reader::key(qsizetype& position) {
    skipBlanks(position);
    RawValue simple;
    if (readSimpleKey(position, simple))
        return simple;
    QString key;
    bool inDouble = false;
    bool inSingle = false;
    while (position >= 1 && position <= m_size) {
        const char16_t c = m_data[position - 1];
        if (c == u'"' || c == u'\'') {
            ++position;
            bool& flag = c == u'"' ? inDouble : inSingle;
            flag = !flag;
            if (flag)
                continue;
            skipBlanks(position);
            if (ch(position) != u':') {
                addLine(m_t, {u"Invalid Key at position ", QString::number(position), u" : ", key});
                return stringFrom(key);
            }
            continue;
        }
        if (c == u':') {
            ++position;
            if (!inDouble && !inSingle)
                return stringFrom(key);
            key += u':';
            continue;
        }
        // A run of ordinary characters is taken at once; blanks are dropped.
        const qsizetype start = position;
        while (position <= m_size) {
            const char16_t d = m_data[position - 1];
            if (d == u'"' || d == u'\'' || d == u':' || isKeyBlank(d))
                break;
            ++position;
        }
        if (position > start)
            key += QStringView(m_data + start - 1, position - start);
        else
            ++position; // a blank
    }
    return stringFrom(key);
}

RawValue Reader::array(qsizetype& p) {
    if (!opens(p, u'['))
        return ItemScope(m_t.items).finish(arena());
    const detail::DepthGuard open(m_t.depth);
    ItemScope items(m_t.items);
    ++p;
    while (another(p, u']')) {
        RawValue item;
        const bool read = value(p, item);
        const bool literalFailed = m_t.literalFailed;
        m_t.literalFailed = false;
        if (!read) {
            addLine(m_t, {describe(m_failure), u": ", twentyFrom(p)});
            return items.finish(arena());
        }
        if (m_t.stopped) {
            if (!ValueAccess::isEmpty(item))
                items.add(item);
            return items.finish(arena());
        }
        items.add(item);
        // A malformed literal leaves the position on it, so the loop would meet it on every
        // pass: its value is kept once and the enclosing level carries on from there.
        if (literalFailed)
            return items.finish(arena());
    }
    return items.finish(arena());
}

// A parsed text as a string value: empty ones are null strings, as the steps return them.
RawValue Reader::stringFrom(QStringView units) {
    if (ValueAccess::fitsShort(units.size()))
        return ValueAccess::shortString(units, true);
    return detail::makeString(arena(), units);
}

// One scan finds the end and the length; a string without escapes is then copied from the text
// in one piece, and one with escapes decoded into room of exactly its size.
RawValue Reader::string(qsizetype& position) {
    skipBlanks(position);
    const int quote = ch(position);
    ++position;
    if (position < 1 || position > m_size)
        return stringFrom({});
    const qsizetype start = position;
    qsizetype p = start;
    const qsizetype length = walkString(m_data, m_size, quote, p, nullptr);
    position = p <= m_size ? p + 1 : p;
    if (length == p - start)
        return stringFrom(QStringView(m_data + start - 1, length));
    qsizetype again = start;
    if (ValueAccess::fitsShort(length)) {
        std::array<char16_t, detail::kValueBytes / 2> decoded;
        walkString(m_data, m_size, quote, again, decoded.data());
        return stringFrom(QStringView(decoded.data(), length));
    }
    detail::StringRep* rep = detail::newString(arena(), length);
    walkString(m_data, m_size, quote, again, rep->units());
    return ValueAccess::string(m_arena, rep);
}

bool Reader::number(qsizetype& position, RawValue& out) {
    skipBlanks(position);
    const qsizetype start = position;
    while (position >= 1 && position <= m_size) {
        if (!isNumberChar(m_data[position - 1])) {
            const QStringView text(m_data + start - 1, position - start);
            if (const std::optional<Decimal> simple = simpleDecimal(text)) {
                out = ValueAccess::number(*simple);
                return true;
            }
            try {
                out = ValueAccess::number(Decimal::fromText(text));
                return true;
            } catch (const Error& e) {
                return fail(e.kind() == ErrorKind::Overflow ? Failure::Overflow
                                                            : Failure::TypeMismatch);
            }
        }
        ++position;
    }
    // A number that runs up to the end is not converted.
    out = ValueAccess::empty();
    return true;
}

bool Reader::boolean(qsizetype& position) {
    skipBlanks(position);
    if (literalAt(position, u"true")) {
        position += 4;
        return true;
    }
    if (literalAt(position, u"false")) {
        position += 5;
        return false;
    }
    addLine(m_t, {u"Invalid Boolean at position ", QString::number(position), u" : ",
                  restFrom(position)});
    m_t.literalFailed = true;
    return false;
}

RawValue Reader::null(qsizetype& position) {
    skipBlanks(position);
    if (literalAt(position, u"null")) {
        position += 4;
        return ValueAccess::null();
    }
    addLine(m_t, {u"Invalid null value at position ", QString::number(position), u" : ",
                  restFrom(position)});
    m_t.literalFailed = true;
    return ValueAccess::empty();
}

} // namespace

std::optional<Value> Parse(const QString& text) {
    steps::Reset();
    ParseState& t = t_state;
    std::optional<Value> result;
    {
        Reader reader(text, t);
        qsizetype position = 1;
        reader.scanBlanks(position);
        const int c = reader.ch(position);
        if (c == u'{')
            result = reader.give(reader.object(position));
        else if (c == u'[')
            result = reader.give(reader.array(position));
        else
            t.errors = QStringLiteral("Invalid JSON");
    }
    t.releaseScratch();
    return result;
}

QString ParseErrors() {
    return t_state.errors;
}

namespace steps {

void Reset() {
    t_state.reset();
}

void SkipBlanks(const QString& text, qsizetype& position) {
    Reader(text, t_state).scanBlanks(position);
}

Value ParseValue(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    RawValue value;
    if (!reader.value(position, value))
        throw Error(errorKind(reader.failure()), describe(reader.failure()).toString());
    return reader.give(value);
}

std::shared_ptr<Dictionary> ParseObject(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    return reader.give(reader.object(position)).dictionary();
}

QString ParseKey(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    return reader.give(reader.key(position)).toString();
}

std::shared_ptr<Collection> ParseArray(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    return reader.give(reader.array(position)).collection();
}

QString ParseString(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    return reader.give(reader.string(position)).toString();
}

Value ParseNumber(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    RawValue number;
    if (!reader.number(position, number))
        throw Error(errorKind(reader.failure()), describe(reader.failure()).toString());
    return reader.give(number);
}

bool ParseBoolean(const QString& text, qsizetype& position) {
    return Reader(text, t_state).boolean(position);
}

Value ParseNull(const QString& text, qsizetype& position) {
    Reader reader(text, t_state);
    return reader.give(reader.null(position));
}

} // namespace steps

} // namespace orvana::json
