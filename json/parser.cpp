#include "json/parser.h"

#include "json/depth_guard.h"
#include "json/error.h"
#include "json/tree.h"
#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <span>
#include <type_traits>
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

// The text of a failure that ends the nearest enclosing container (TypeMismatch, Overflow or
// DuplicateKey; the others are messages of their own).
QStringView describe(ErrorKind failure) noexcept {
    switch (failure) {
    case ErrorKind::TypeMismatch:
        return u"Type mismatch";
    case ErrorKind::Overflow:
        return u"Overflow";
    case ErrorKind::DuplicateKey:
        return u"Duplicate key";
    default:
        return {};
    }
}

// A stack of trivially copyable elements that keeps its storage between parses.
template <typename T> class Scratch {
public:
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { ::operator delete(m_data); }

    [[nodiscard]] size_t size() const noexcept { return m_size; }
    [[nodiscard]] const T& operator[](size_t i) const noexcept { return m_data[i]; }
    [[nodiscard]] std::span<const T> from(size_t base) const noexcept {
        return {m_data + base, m_size - base};
    }
    void push(const T& element) {
        if (m_size == m_capacity)
            grow();
        m_data[m_size++] = element;
    }
    void shrinkTo(size_t size) noexcept { m_size = size; }
    // Empties the stack, giving its storage back when it grew beyond keep elements.
    void reset(size_t keep) noexcept {
        m_size = 0;
        if (m_capacity > keep) {
            ::operator delete(m_data);
            m_data = nullptr;
            m_capacity = 0;
        }
    }

private:
    void grow() {
        static_assert(std::is_trivially_copyable_v<T>);
        const size_t capacity = m_capacity < 64 ? 64 : m_capacity * 2;
        T* data = static_cast<T*>(::operator new(capacity * sizeof(T)));
        if (m_size > 0)
            std::memcpy(data, m_data, m_size * sizeof(T));
        ::operator delete(m_data);
        m_data = data;
        m_capacity = capacity;
    }

    T* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

struct ParseState {
    QString errors;
    bool errorsCapped = false;
    int depth = 0; // containers open
    // kStopped: the nesting limit was hit, every open container returns. kLiteralFailed: the last
    // ParseBoolean/ParseNull met a malformed literal. One byte, so that the loops test both at
    // once.
    static constexpr uint8_t kStopped = 1;
    static constexpr uint8_t kLiteralFailed = 2;
    uint8_t alerts = 0;
    // The members and items of the open containers, innermost last: each container is stored
    // once, at its exact size, when it closes.
    Scratch<RawMember> members;
    Scratch<RawValue> items;

    void reset() {
        errors.clear();
        errorsCapped = false;
        depth = 0;
        alerts = 0;
        members.shrinkTo(0);
        items.shrinkTo(0);
    }

    void releaseScratch() noexcept {
        members.reset(kKeptScratch);
        items.reset(kKeptScratch);
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
    constexpr uint64_t kBlanks = uint64_t(1) << kCr | uint64_t(1) << kLf | uint64_t(1) << u'\t' |
                                 uint64_t(1) << u' ' | uint64_t(1) << u'(' | uint64_t(1) << u')' |
                                 uint64_t(1) << u'/' | uint64_t(1) << u'*';
    return c < 64 && ((kBlanks >> c) & 1) != 0;
}

inline bool isDigit(char16_t c) noexcept {
    return c >= u'0' && c <= u'9';
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

// The elements of one container while it is read, on a shared scratch stack; they leave it when
// the container is stored, or when the scope is left early.
template <typename T> class ScratchScope {
public:
    explicit ScratchScope(Scratch<T>& stack) noexcept : m_stack(stack), m_base(stack.size()) {}
    ~ScratchScope() { m_stack.shrinkTo(m_base); }
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;

protected:
    [[nodiscard]] std::span<const T> elements() const noexcept { return m_stack.from(m_base); }

    Scratch<T>& m_stack;
    const size_t m_base;
};

// The members of one object while it is read.
class MemberScope : public ScratchScope<RawMember> {
public:
    using ScratchScope::ScratchScope;

    [[nodiscard]] bool contains(const RawValue& key) const noexcept {
        const QStringView wanted = ValueAccess::stringView(key);
        if (!m_index.empty())
            return m_index.find(wanted, keyAt()) >= 0;
        for (const RawMember& m : elements()) {
            if (sameKey(m.key, key, wanted))
                return true;
        }
        return false;
    }

    // False, adding nothing, when the key is present.
    [[nodiscard]] bool add(const RawValue& key, const RawValue& value) {
        if (contains(key))
            return false;
        m_stack.push({key, value});
        m_index.added(m_stack.size() - m_base, keyAt());
        return true;
    }

    [[nodiscard]] RawValue finish(Arena& arena) {
        return ValueAccess::dictionary(
            &arena, detail::storeDictionary(arena, elements(), std::move(m_index)));
    }

private:
    // Short keys are equal exactly when their bits are (the unused units are zero), so most keys
    // compare without reading their text.
    static bool sameKey(const RawValue& stored, const RawValue& key, QStringView wanted) noexcept {
        if (ValueAccess::isShortString(stored) && ValueAccess::isShortString(key))
            return ValueAccess::sameShortText(stored, key);
        return ValueAccess::stringView(stored) == wanted;
    }

    // The key of the object's member i.
    struct KeyAt {
        const MemberScope* scope;
        QStringView operator()(size_t i) const noexcept {
            return ValueAccess::stringView(scope->m_stack[scope->m_base + i].key);
        }
    };
    [[nodiscard]] KeyAt keyAt() const noexcept { return {this}; }

    detail::KeyIndex m_index;
};

// The items of one array while it is read.
class ItemScope : public ScratchScope<RawValue> {
public:
    using ScratchScope::ScratchScope;

    void add(const RawValue& value) { m_stack.push(value); }

    [[nodiscard]] RawValue finish(Arena& arena) {
        return ValueAccess::collection(&arena, detail::storeCollection(arena, elements()));
    }
};

// One reading of a text: the steps, over one 1-based position that they advance, building into
// one arena, which holds one reference of its own until the reader goes.
class Reader {
public:
    Reader(const QString& text, ParseState& state, qsizetype position) noexcept
        : m_data(reinterpret_cast<const char16_t*>(text.constData())), m_size(text.size()),
          m_pos(position), m_t(state) {}
    ~Reader() {
        if (m_arena)
            m_arena->release();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    [[nodiscard]] qsizetype position() const noexcept { return m_pos; }

    // raw as a value of its own.
    [[nodiscard]] Value give(const RawValue& raw) const noexcept {
        if (Arena* arena = ValueAccess::arenaOf(raw))
            arena->ref();
        return ValueAccess::adopt(raw);
    }

    // ch(position) of the algorithms: the code unit there, or -1 (the empty string) outside.
    [[nodiscard]] int ch() const noexcept { return inText() ? m_data[m_pos - 1] : -1; }
    [[nodiscard]] bool inText() const noexcept { return size_t(m_pos - 1) < size_t(m_size); }
    [[nodiscard]] bool atEnd() const noexcept { return m_pos > m_size; }

    // SkipBlanks, with the common case of no blank at all decided inline.
    void skipBlanks() noexcept { (void)skipToChar(); }
    // SkipBlanks, then ch().
    [[gnu::always_inline]] int skipToChar() noexcept {
        if (inText()) [[likely]] {
            const char16_t c = m_data[m_pos - 1];
            if (!mayBeBlank(c))
                return c;
        }
        scanBlanks();
        return ch();
    }
    void scanBlanks() noexcept;

    // The steps; each starts with SkipBlanks. value() is false when the value failed (failure()
    // says how), the position left where the failure left it.
    [[gnu::always_inline]] [[nodiscard]] bool value(RawValue& out) {
        return valueAt(skipToChar(), out);
    }
    [[nodiscard]] RawValue object() { return opens(u'{') ? objectHere() : emptyDictionary(); }
    [[nodiscard]] RawValue key() {
        skipBlanks();
        return keyHere();
    }
    [[nodiscard]] RawValue array() { return opens(u'[') ? arrayHere() : emptyCollection(); }
    [[nodiscard]] RawValue string() {
        skipBlanks();
        return stringHere();
    }
    [[nodiscard]] bool number(RawValue& out) {
        skipBlanks();
        return numberHere(out);
    }
    [[nodiscard]] bool boolean() {
        skipBlanks();
        return booleanHere();
    }
    [[nodiscard]] RawValue null() {
        skipBlanks();
        return nullHere();
    }

    [[nodiscard]] ErrorKind failure() const noexcept { return m_failure; }

private:
    [[nodiscard]] Arena& arena() {
        if (!m_arena)
            m_arena = Arena::create(std::clamp<size_t>(size_t(m_size) * 2, 256, size_t(1) << 20));
        return *m_arena;
    }
    // The steps without their SkipBlanks, for callers that have just skipped.
    // c is ch(), blanks skipped.
    [[nodiscard]] bool valueAt(int c, RawValue& out);
    [[nodiscard]] RawValue objectHere();
    [[nodiscard]] RawValue keyHere();
    [[nodiscard]] RawValue arrayHere();
    [[nodiscard]] RawValue stringHere();
    [[nodiscard]] bool numberHere(RawValue& out);
    [[nodiscard]] bool booleanHere();
    [[nodiscard]] RawValue nullHere();
    [[nodiscard]] RawValue emptyDictionary() { return MemberScope(m_t.members).finish(arena()); }
    [[nodiscard]] RawValue emptyCollection() { return ItemScope(m_t.items).finish(arena()); }

    // Whether the container with that opener begins here (after blanks); records the guard line
    // when it does not.
    [[nodiscard]] bool opens(char16_t opener);
    // The head of each pass of a container's loop: kEnded when the container ends here, after its
    // closer (consumed) or at the end of the text (with its "Missing" line); otherwise ch() at
    // the element, blanks skipped.
    static constexpr int kEnded = -2;
    [[nodiscard]] int another(char16_t closer);
    [[nodiscard]] bool fail(ErrorKind failure) noexcept {
        m_failure = failure;
        return false;
    }
    [[nodiscard]] bool readSimpleKey(RawValue& key);
    // The 1-based position of the first code unit from from that ends a run of ordinary key
    // characters (a quote, ":" or a blank), or one past the end.
    [[nodiscard]] qsizetype ordinaryRunEnd(qsizetype from) const noexcept {
        qsizetype p = from;
        while (p <= m_size) {
            const char16_t c = m_data[p - 1];
            if (c == u'"' || c == u'\'' || c == u':' || isKeyBlank(c))
                break;
            ++p;
        }
        return p;
    }
    [[nodiscard]] bool readPlainNumber(RawValue& out) noexcept;
    // The general reading of a number: the run of number characters, converted by Decimal.
    [[nodiscard]] bool readNumber(RawValue& out);
    [[nodiscard]] bool readShortString(int quote, RawValue& out) noexcept;
    [[nodiscard]] RawValue stringFrom(QStringView units);
    // The length units of the text from 0-based start as a short string value.
    [[nodiscard]] RawValue shortFromText(qsizetype start, int length) const noexcept;

    // The rest of the text from the position.
    [[nodiscard]] QStringView rest() const noexcept {
        const qsizetype p = std::max<qsizetype>(m_pos, 1);
        return p > m_size ? QStringView() : QStringView(m_data + p - 1, m_size - p + 1);
    }
    // The 20 characters from the position, fewer near the end.
    [[nodiscard]] QStringView twenty() const noexcept { return rest().left(20); }
    // The last 20 characters of the whole text.
    [[nodiscard]] QStringView lastTwenty() const noexcept {
        return QStringView(m_data, m_size).right(20);
    }
    [[nodiscard]] QString here() const { return QString::number(m_pos); }
    // Whether the literal stands at the position (exactly, case included).
    template <size_t N>
    [[nodiscard]] bool literalHere(const char16_t (&literal)[N]) const noexcept {
        constexpr size_t length = N - 1;
        return m_pos >= 1 && m_size - (m_pos - 1) >= qsizetype(length) &&
               std::memcmp(m_data + m_pos - 1, literal, length * sizeof(char16_t)) == 0;
    }

    const char16_t* m_data;
    qsizetype m_size;
    qsizetype m_pos;
    ParseState& m_t;
    Arena* m_arena = nullptr;
    ErrorKind m_failure = ErrorKind::TypeMismatch;
};

void Reader::scanBlanks() noexcept {
    bool pending = false;
    bool inComment = false;
    bool block = false;
    qsizetype p = m_pos < 1 ? 1 : m_pos;
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
                m_pos = p;
                return;
            }
            break;
        }
        ++p;
    }
    m_pos = p;
}

bool Reader::opens(char16_t opener) {
    skipBlanks();
    if (ch() == opener)
        return true;
    // The callers only enter a container step at its opener; a test may enter elsewhere.
    if (opener == u'{')
        addLine(m_t, {u"Invalid Object at position ", here(), u" : ", rest()});
    else
        addLine(m_t, {u"Invalid Array at position ", here(), u" : ", twenty()});
    return false;
}

[[gnu::always_inline]] inline int Reader::another(char16_t closer) {
    const int c = skipToChar();
    if (c == closer) {
        ++m_pos;
        return kEnded;
    }
    if (c == u',') {
        // Straight to the element: no test for the closer or for the end follows a comma.
        ++m_pos;
        return skipToChar();
    }
    if (atEnd()) {
        addLine(m_t, {closer == u'}' ? u"Missing '}': " : u"Missing ']': ", lastTwenty()});
        return kEnded;
    }
    return c;
}

// Inlined into the container loops, which call it for every element.
[[gnu::always_inline]] inline bool Reader::valueAt(int c, RawValue& out) {
    if (isDigit(char16_t(c)) || c == u'-')
        return readPlainNumber(out) || readNumber(out);
    switch (c) {
    case u'{':
    case u'[':
        if (m_t.depth >= kMaxNesting) {
            addLine(m_t, {u"Nesting too deep at position ", here()});
            m_t.alerts |= ParseState::kStopped;
            out = ValueAccess::empty();
            return true;
        }
        out = c == u'{' ? objectHere() : arrayHere();
        return true;
    case u'"':
    case u'\'':
        out = stringHere();
        return true;
    case u't':
    case u'f':
        out = ValueAccess::boolean(booleanHere());
        return true;
    case u'n':
        out = nullHere();
        return true;
    default:
        return numberHere(out);
    }
}

RawValue Reader::objectHere() {
    const detail::DepthGuard open(m_t.depth);
    MemberScope members(m_t.members);
    ++m_pos;
    while (another(u'}') != kEnded) {
        const RawValue name = keyHere();
        RawValue member;
        const bool read = value(member);
        m_t.alerts &= ~ParseState::kLiteralFailed;
        if (!read) {
            addLine(m_t, {describe(m_failure), u": ", ValueAccess::stringView(name)});
            return members.finish(arena());
        }
        if (m_t.alerts & ParseState::kStopped) {
            // The refused container is not added, a partly built one is; no message.
            if (!ValueAccess::isEmpty(member))
                (void)members.add(name, member);
            return members.finish(arena());
        }
        if (!members.add(name, member)) {
            addLine(m_t, {describe(ErrorKind::DuplicateKey), u": ", ValueAccess::stringView(name)});
            return members.finish(arena());
        }
    }
    return members.finish(arena());
}

// A key that is one run of ordinary characters, bare or in one pair of quotes, followed by ":"
// (after blanks when quoted): read straight from the text. Anything else is left to the general
// loop, which starts from the same position, so nothing here is observable.
bool Reader::readSimpleKey(RawValue& key) {
    if (!inText())
        return false;
    const char16_t first = m_data[m_pos - 1];
    const bool quoted = first == u'"' || first == u'\'';
    const qsizetype start = quoted ? m_pos + 1 : m_pos;
    qsizetype p = ordinaryRunEnd(start);
    const qsizetype end = p;
    if (quoted) {
        if (p > m_size || m_data[p - 1] != first)
            return false;
        const qsizetype keep = m_pos;
        m_pos = p + 1;
        skipBlanks();
        p = m_pos;
        m_pos = keep;
    }
    if (p > m_size || m_data[p - 1] != u':')
        return false;
    key = ValueAccess::fitsShort(end - start)
              ? shortFromText(start - 1, int(end - start))
              : stringFrom(QStringView(m_data + start - 1, end - start));
    m_pos = p + 1;
    return true;
}

RawValue Reader::keyHere() {
    RawValue simple;
    if (readSimpleKey(simple))
        return simple;
    QString key;
    bool inDouble = false;
    bool inSingle = false;
    while (inText()) {
        const char16_t c = m_data[m_pos - 1];
        if (c == u'"' || c == u'\'') {
            ++m_pos;
            bool& flag = c == u'"' ? inDouble : inSingle;
            flag = !flag;
            if (flag)
                continue;
            skipBlanks();
            if (ch() != u':') {
                addLine(m_t, {u"Invalid Key at position ", here(), u" : ", key});
                return stringFrom(key);
            }
            continue;
        }
        if (c == u':') {
            ++m_pos;
            if (!inDouble && !inSingle)
                return stringFrom(key);
            key += u':';
            continue;
        }
        // A run of ordinary characters is taken at once; blanks are dropped.
        const qsizetype start = m_pos;
        m_pos = ordinaryRunEnd(start);
        if (m_pos > start)
            key += QStringView(m_data + start - 1, m_pos - start);
        else
            ++m_pos; // a blank
    }
    return stringFrom(key);
}

RawValue Reader::arrayHere() {
    const detail::DepthGuard open(m_t.depth);
    ItemScope items(m_t.items);
    ++m_pos;
    for (int c = another(u']'); c != kEnded; c = another(u']')) {
        RawValue item;
        const bool read = valueAt(c, item);
        if (read && m_t.alerts == 0) [[likely]] {
            items.add(item);
            continue;
        }
        const bool literalFailed = (m_t.alerts & ParseState::kLiteralFailed) != 0;
        m_t.alerts &= ~ParseState::kLiteralFailed;
        if (!read) {
            addLine(m_t, {describe(m_failure), u": ", twenty()});
            return items.finish(arena());
        }
        if (m_t.alerts & ParseState::kStopped) {
            if (!ValueAccess::isEmpty(item))
                items.add(item);
            return items.finish(arena());
        }
        // A malformed literal leaves the position on it, so the loop would meet it on every
        // pass: its value is kept once and the enclosing level carries on from there.
        items.add(item);
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

[[gnu::always_inline]] inline RawValue Reader::shortFromText(qsizetype start,
                                                             int length) const noexcept {
#if defined(__SSE2__)
    if (m_size - start >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_data + start));
        const __m128i kept =
            _mm_and_si128(units, _mm_cmpgt_epi16(_mm_set1_epi16(short(length)),
                                                 _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7)));
        // The units move up by one to make room for the tag and the length.
        const __m128i value = _mm_insert_epi16(_mm_slli_si128(kept, 2),
                                               ValueAccess::shortStringHead(length, true), 0);
        RawValue raw;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(raw.bytes), value);
        return raw;
    }
#endif
    return ValueAccess::shortString(QStringView(m_data + start, length), true);
}

// A string that closes within a short string's length, with no escape: read in one pass. The
// position is just after the opening quote.
bool Reader::readShortString(int quote, RawValue& out) noexcept {
    const qsizetype start = m_pos - 1;
    int length = -1;
#if defined(__SSE2__)
    if (m_size - start >= 8) {
        // The first 8 units at once: the string must close among them, before any backslash.
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_data + start));
        const __m128i stops = _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(short(quote))),
                                           _mm_cmpeq_epi16(units, _mm_set1_epi16(short(u'\\'))));
        const unsigned mask = unsigned(_mm_movemask_epi8(stops));
        if (mask != 0)
            length = __builtin_ctz(mask) / 2;
    } else
#endif
    {
        const qsizetype limit = std::min<qsizetype>(m_size - start, ValueAccess::kShortUnits + 1);
        for (qsizetype k = 0; k < limit && length < 0; ++k) {
            if (m_data[start + k] == u'\\' || m_data[start + k] == quote)
                length = int(k);
        }
    }
    if (length < 0 || m_data[start + length] == u'\\')
        return false;
    out = shortFromText(start, length);
    m_pos += length + 1;
    return true;
}

// One scan finds the end and the length; a string without escapes is then copied from the text
// in one piece, and one with escapes decoded into room of exactly its size.
RawValue Reader::stringHere() {
    const int quote = ch();
    ++m_pos;
    if (!inText())
        return stringFrom({});
    RawValue plain;
    if (readShortString(quote, plain))
        return plain;
    const qsizetype start = m_pos;
    qsizetype p = start;
    const qsizetype length = walkString(m_data, m_size, quote, p, nullptr);
    m_pos = p <= m_size ? p + 1 : p;
    if (length == p - start)
        return stringFrom(QStringView(m_data + start - 1, length));
    qsizetype again = start;
    if (ValueAccess::fitsShort(length)) {
        std::array<char16_t, ValueAccess::kShortUnits> decoded;
        walkString(m_data, m_size, quote, again, decoded.data());
        return stringFrom(QStringView(decoded.data(), length));
    }
    detail::StringRep* rep = detail::newString(arena(), length);
    walkString(m_data, m_size, quote, again, rep->units());
    return ValueAccess::string(m_arena, rep);
}

// Plain integers and simple decimals (an optional "-", digits, optionally "." and digits; at
// most 19 digits in all) that end before a character that cannot continue a number: converted
// as they are read. Anything else (false) is left to the general reader; the result is the one
// Decimal::fromText gives.
[[gnu::always_inline]] inline bool Reader::readPlainNumber(RawValue& out) noexcept {
    static constexpr uint64_t kPowers[] = {1,
                                           10,
                                           100,
                                           1000,
                                           10000,
                                           100000,
                                           1000000,
                                           10000000,
                                           100000000,
                                           1000000000,
                                           10000000000,
                                           100000000000,
                                           1000000000000,
                                           10000000000000,
                                           100000000000000,
                                           1000000000000000,
                                           10000000000000000,
                                           100000000000000000,
                                           1000000000000000000,
                                           10000000000000000000u};
    if (!inText())
        return false;
    const char16_t* const begin = m_data + m_pos - 1;
    const char16_t* const end = m_data + m_size;
    const char16_t* p = begin;
    const bool negative = *p == u'-';
    if (negative)
        ++p;
    const char16_t* const digits = p;
    uint64_t value = 0;
    while (p != end && isDigit(*p))
        value = value * 10 + uint64_t(*p++ - u'0');
    if (p == digits)
        return false;
    int scale = 0;
    if (p != end && *p == u'.') {
        const char16_t* const fraction = ++p;
        int zeros = 0;
        while (p != end && isDigit(*p)) {
            zeros = *p == u'0' ? zeros + 1 : 0;
            value = value * 10 + uint64_t(*p++ - u'0');
        }
        if (p == fraction || p - digits - 1 > 19)
            return false;
        // Trailing fractional zeros do not count towards the scale.
        if (zeros > 0)
            value /= kPowers[zeros];
        scale = int(p - fraction) - zeros;
    } else if (p - digits > 19) {
        return false;
    }
    if (p == end || isNumberChar(*p))
        return false;
    m_pos += p - begin;
    out = ValueAccess::number(negative, value, 0, value == 0 ? 0 : scale);
    return true;
}

bool Reader::numberHere(RawValue& out) {
    if (readPlainNumber(out))
        return true;
    return readNumber(out);
}

bool Reader::readNumber(RawValue& out) {
    const qsizetype start = m_pos;
    while (inText()) {
        if (!isNumberChar(m_data[m_pos - 1])) {
            try {
                out = ValueAccess::number(
                    Decimal::fromText(QStringView(m_data + start - 1, m_pos - start)));
                return true;
            } catch (const Error& e) {
                return fail(e.kind() == ErrorKind::Overflow ? ErrorKind::Overflow
                                                            : ErrorKind::TypeMismatch);
            }
        }
        ++m_pos;
    }
    // A number that runs up to the end is not converted.
    out = ValueAccess::empty();
    return true;
}

bool Reader::booleanHere() {
    if (literalHere(u"true")) {
        m_pos += 4;
        return true;
    }
    if (literalHere(u"false")) {
        m_pos += 5;
        return false;
    }
    addLine(m_t, {u"Invalid Boolean at position ", here(), u" : ", rest()});
    m_t.alerts |= ParseState::kLiteralFailed;
    return false;
}

RawValue Reader::nullHere() {
    if (literalHere(u"null")) {
        m_pos += 4;
        return ValueAccess::null();
    }
    addLine(m_t, {u"Invalid null value at position ", here(), u" : ", rest()});
    m_t.alerts |= ParseState::kLiteralFailed;
    return ValueAccess::empty();
}

// Runs one step from position and gives the position back, also when the step fails.
template <typename Step> auto runStep(const QString& text, qsizetype& position, Step step) {
    Reader reader(text, t_state, position);
    struct Restore {
        Reader& reader;
        qsizetype& position;
        ~Restore() { position = reader.position(); }
    } restore{reader, position};
    return step(reader);
}

// The value a step that may fail read, as a value of its own; its failure as orvana::Error.
template <bool (Reader::*Step)(RawValue&)> Value readOrThrow(Reader& reader) {
    RawValue raw;
    if (!(reader.*Step)(raw))
        throw Error(reader.failure(), describe(reader.failure()).toString());
    return reader.give(raw);
}

} // namespace

std::optional<Value> Parse(const QString& text) {
    steps::Reset();
    ParseState& t = t_state;
    std::optional<Value> result;
    {
        Reader reader(text, t, 1);
        reader.scanBlanks();
        const int c = reader.ch();
        if (c == u'{')
            result = reader.give(reader.object());
        else if (c == u'[')
            result = reader.give(reader.array());
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
    runStep(text, position, [](Reader& r) { r.scanBlanks(); });
}

Value ParseValue(const QString& text, qsizetype& position) {
    return runStep(text, position, readOrThrow<&Reader::value>);
}

std::shared_ptr<Dictionary> ParseObject(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.give(r.object()).dictionary(); });
}

QString ParseKey(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.give(r.key()).toString(); });
}

std::shared_ptr<Collection> ParseArray(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.give(r.array()).collection(); });
}

QString ParseString(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.give(r.string()).toString(); });
}

Value ParseNumber(const QString& text, qsizetype& position) {
    return runStep(text, position, readOrThrow<&Reader::number>);
}

bool ParseBoolean(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.boolean(); });
}

Value ParseNull(const QString& text, qsizetype& position) {
    return runStep(text, position, [](Reader& r) { return r.give(r.null()); });
}

} // namespace steps

} // namespace orvana::json
