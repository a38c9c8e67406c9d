#include "json/parser.h"

#include "json/error.h"
#include <QSet>
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

// Once the error text holds this many characters, further lines are dropped (one closing line
// says so): each line may quote the rest of the text, so a long text with many problems would
// otherwise need memory quadratic in its length.
constexpr qsizetype kMaxErrorText = qsizetype(1) << 24;

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

// Keys and short values ("pop", "ok") repeat from object to object; one shared copy of each
// saves an allocation per member. Direct-mapped: a clash just replaces the older text.
constexpr size_t kKeyCacheSlots = 256;
constexpr qsizetype kMaxSharedKey = 32;
constexpr qsizetype kMaxSharedString = 16;
// Scratch stacks larger than this are released after a parse instead of kept for the next.
constexpr size_t kKeptScratch = 4096;

struct ParseState {
    QString errors;
    bool errorsCapped = false;
    int depth = 0;              // containers open
    bool stopped = false;       // the nesting limit was hit: every open container returns
    bool literalFailed = false; // the last ParseBoolean/ParseNull met a malformed literal
    // The members and items of the open containers, innermost last: each container is
    // allocated once, at its exact size, when it closes.
    std::vector<Dictionary::Member> members;
    std::vector<Value> items;
    std::array<QString, kKeyCacheSlots> keys; // see sharedCopy

    void resetKeepingScratch() {
        errors.clear();
        errorsCapped = false;
        depth = 0;
        stopped = false;
        literalFailed = false;
        members.clear();
        items.clear();
        keys.fill(QString());
    }

    void releaseScratch() {
        members.clear();
        items.clear();
        if (members.capacity() > kKeptScratch)
            std::vector<Dictionary::Member>().swap(members);
        if (items.capacity() > kKeptScratch)
            std::vector<Value>().swap(items);
        keys.fill(QString());
    }
};

thread_local ParseState t_state;

// ch(p) of the algorithms: the code unit at 1-based p, or -1 (the empty string) outside.
inline int ch(const QString& text, qsizetype p) noexcept {
    return p >= 1 && p <= text.size() ? text.data()[p - 1].unicode() : -1;
}

inline bool atEnd(const QString& text, qsizetype p) noexcept {
    return p > text.size();
}

void addLine(std::initializer_list<QStringView> parts) {
    ParseState& t = t_state;
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

// The rest of the text from p.
QStringView restFrom(const QString& text, qsizetype p) noexcept {
    if (p < 1)
        p = 1;
    if (p > text.size())
        return {};
    return QStringView(text).sliced(p - 1);
}

// The 20 characters from p, fewer near the end.
QStringView twentyFrom(const QString& text, qsizetype p) noexcept {
    return restFrom(text, p).left(20);
}

// The last 20 characters of the whole text.
QStringView lastTwenty(const QString& text) noexcept {
    return QStringView(text).right(20);
}

// Whether the literal stands in the text at 1-based p (exactly, case included).
inline bool literalAt(const QString& text, qsizetype p, std::u16string_view literal) noexcept {
    if (p < 1 || text.size() - (p - 1) < qsizetype(literal.size()))
        return false;
    const auto* data = reinterpret_cast<const char16_t*>(text.constData()) + (p - 1);
    return std::equal(literal.begin(), literal.end(), data);
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

// SkipBlanks, with the common case of no blank at all decided inline.
inline void skipBlanks(const QString& text, qsizetype& position) {
    const qsizetype p = position;
    if (p >= 1 && p <= text.size() && !mayBeBlank(text.constData()[p - 1].unicode()))
        return;
    steps::SkipBlanks(text, position);
}

// Counts one open container for as long as it lives.
class NestingGuard {
public:
    NestingGuard() noexcept { ++t_state.depth; }
    ~NestingGuard() { --t_state.depth; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

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

// Equality of short texts, decided inline (the library call costs more than the comparison).
inline bool sameText(QStringView a, QStringView b) noexcept {
    // memcmp must not see the null pointer of an empty text.
    return a.size() == b.size() &&
           (a.isEmpty() ||
            std::memcmp(a.utf16(), b.utf16(), size_t(a.size()) * sizeof(char16_t)) == 0);
}

// The text as a string, shared with the previous occurrence of the same text when it is at most
// limit long.
QString sharedCopy(QStringView text, qsizetype limit) {
    if (text.isEmpty())
        return QString();
    if (text.size() > limit)
        return text.toString();
    size_t hash = size_t(text.size());
    for (QChar c : text)
        hash = hash * 31 + c.unicode();
    QString& slot = t_state.keys[hash % kKeyCacheSlots];
    if (!sameText(slot, text))
        slot = text.toString();
    return slot;
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

// The members of one object while it is read, on the shared scratch stack.
class MemberScope {
public:
    explicit MemberScope(std::vector<Dictionary::Member>& stack) noexcept
        : m_stack(stack), m_base(stack.size()) {}
    ~MemberScope() { m_stack.resize(m_base); }
    MemberScope(const MemberScope&) = delete;
    MemberScope& operator=(const MemberScope&) = delete;

    [[nodiscard]] bool contains(const QString& key) {
        if (m_index)
            return m_index->contains(key);
        for (size_t i = m_base; i < m_stack.size(); ++i) {
            if (sameText(m_stack[i].first, key))
                return true;
        }
        return false;
    }

    // Fails as Dictionary::Add does, leaving the members unchanged.
    // The key is moved from only once the member is accepted.
    void add(QString&& key, Value value) {
        if (contains(key))
            throw Error(ErrorKind::DuplicateKey, QStringLiteral("Duplicate key"));
        m_stack.emplace_back(std::move(key), std::move(value));
        const size_t count = m_stack.size() - m_base;
        if (m_index) {
            m_index->insert(m_stack.back().first);
        } else if (count > kLinearMembers) {
            m_index = std::make_unique<QSet<QString>>();
            m_index->reserve(qsizetype(count) * 2);
            for (size_t i = m_base; i < m_stack.size(); ++i)
                m_index->insert(m_stack[i].first);
        }
    }

    [[nodiscard]] std::shared_ptr<Dictionary> finish() {
        auto dictionary = Dictionary::fromUniqueMembers(
            std::span(m_stack.data() + m_base, m_stack.size() - m_base));
        m_stack.resize(m_base);
        return dictionary;
    }

private:
    // Up to this many members a linear search beats hashing.
    static constexpr size_t kLinearMembers = 12;

    std::vector<Dictionary::Member>& m_stack;
    const size_t m_base;
    std::unique_ptr<QSet<QString>> m_index;
};

// The items of one array while it is read, on the shared scratch stack.
class ItemScope {
public:
    explicit ItemScope(std::vector<Value>& stack) noexcept : m_stack(stack), m_base(stack.size()) {}
    ~ItemScope() { m_stack.resize(m_base); }
    ItemScope(const ItemScope&) = delete;
    ItemScope& operator=(const ItemScope&) = delete;

    void add(Value value) { m_stack.push_back(std::move(value)); }

    [[nodiscard]] std::shared_ptr<Collection> finish() {
        auto collection =
            Collection::fromItems(std::span(m_stack.data() + m_base, m_stack.size() - m_base));
        m_stack.resize(m_base);
        return collection;
    }

private:
    std::vector<Value>& m_stack;
    const size_t m_base;
};

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

int hexDigit(char16_t c) noexcept {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

std::optional<Value> Parse(const QString& text) {
    steps::Reset();
    qsizetype position = 1;
    steps::SkipBlanks(text, position);
    const int c = ch(text, position);
    std::optional<Value> result;
    if (c == u'{')
        result = Value::fromDictionary(steps::ParseObject(text, position));
    else if (c == u'[')
        result = Value::fromCollection(steps::ParseArray(text, position));
    else
        t_state.errors = QStringLiteral("Invalid JSON");
    t_state.releaseScratch();
    return result;
}

QString ParseErrors() {
    return t_state.errors;
}

namespace steps {

void Reset() {
    t_state.resetKeepingScratch();
}

void SkipBlanks(const QString& text, qsizetype& position) {
    bool pending = false;
    bool inComment = false;
    bool block = false;
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    qsizetype p = position < 1 ? 1 : position;
    if (p > size)
        return;
    while (p <= size) {
        const char16_t c = data[p - 1].unicode();
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

Value ParseValue(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    switch (ch(text, position)) {
    case u'{':
    case u'[': {
        ParseState& t = t_state;
        if (t.depth >= kMaxNesting) {
            addLine({u"Nesting too deep at position ", QString::number(position)});
            t.stopped = true;
            return Value();
        }
        if (ch(text, position) == u'{')
            return Value::fromDictionary(ParseObject(text, position));
        return Value::fromCollection(ParseArray(text, position));
    }
    case u'"':
    case u'\'':
        return Value::fromString(ParseString(text, position));
    case u't':
    case u'f':
        return Value::fromBool(ParseBoolean(text, position));
    case u'n':
        return ParseNull(text, position);
    default:
        return ParseNumber(text, position);
    }
}

std::shared_ptr<Dictionary> ParseObject(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    if (ch(text, position) != u'{') {
        addLine({u"Invalid Object at position ", QString::number(position), u" : ",
                 restFrom(text, position)});
        return std::make_shared<Dictionary>();
    }
    const NestingGuard open;
    ParseState& t = t_state;
    MemberScope members(t.members);
    ++position;
    for (;;) {
        skipBlanks(text, position);
        const int c = ch(text, position);
        if (c == u'}') {
            ++position;
            return members.finish();
        }
        if (c == u',') {
            // Straight to the key: no test for "}" or for the end follows a comma.
            ++position;
            skipBlanks(text, position);
        } else if (atEnd(text, position)) {
            addLine({u"Missing '}': ", lastTwenty(text)});
            return members.finish();
        }
        QString key = ParseKey(text, position);
        try {
            Value value = ParseValue(text, position);
            t.literalFailed = false;
            if (t.stopped) {
                // The refused container is not added, a partly built one is; no message.
                if (!value.isEmpty() && !members.contains(key))
                    members.add(std::move(key), std::move(value));
                return members.finish();
            }
            members.add(std::move(key), std::move(value));
        } catch (const Error& e) {
            t.literalFailed = false;
            addLine({e.message(), u": ", key});
            return members.finish();
        }
    }
}

namespace {

// A key that is one run of ordinary characters, bare or in one pair of quotes, followed by ":"
// (after blanks when quoted): read straight from the text. Anything else is left to the general
// loop, which starts from the same position, so nothing here is observable.
bool readSimpleKey(const QString& text, qsizetype& position, QString& key) {
    const auto* data = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    if (position < 1 || position > size)
        return false;
    const char16_t first = data[position - 1];
    const bool quoted = first == u'"' || first == u'\'';
    qsizetype p = quoted ? position + 1 : position;
    const qsizetype start = p;
    while (p <= size) {
        const char16_t c = data[p - 1];
        if (c == u'"' || c == u'\'' || c == u':' || isKeyBlank(c))
            break;
        ++p;
    }
    const qsizetype end = p;
    if (quoted) {
        if (p > size || data[p - 1] != first)
            return false;
        ++p;
        skipBlanks(text, p);
    }
    if (p > size || data[p - 1] != u':')
        return false;
    key = sharedCopy(QStringView(data + start - 1, end - start), kMaxSharedKey);
    position = p + 1;
    return true;
}

} // namespace

QString ParseKey(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    QString key;
    if (readSimpleKey(text, position, key))
        return key;
    bool inDouble = false;
    bool inSingle = false;
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    while (position >= 1 && position <= size) {
        const char16_t c = data[position - 1].unicode();
        if (c == u'"' || c == u'\'') {
            ++position;
            bool& flag = c == u'"' ? inDouble : inSingle;
            flag = !flag;
            if (flag)
                continue;
            skipBlanks(text, position);
            if (ch(text, position) != u':') {
                addLine({u"Invalid Key at position ", QString::number(position), u" : ", key});
                return key;
            }
            continue;
        }
        if (c == u':') {
            ++position;
            if (!inDouble && !inSingle)
                return key;
            key += u':';
            continue;
        }
        // A run of ordinary characters is taken at once; blanks are dropped.
        const qsizetype start = position;
        while (position <= size) {
            const char16_t d = data[position - 1].unicode();
            if (d == u'"' || d == u'\'' || d == u':' || isKeyBlank(d))
                break;
            ++position;
        }
        if (position > start)
            key += QStringView(data + start - 1, position - start);
        else
            ++position; // a blank
    }
    return key;
}

std::shared_ptr<Collection> ParseArray(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    if (ch(text, position) != u'[') {
        addLine({u"Invalid Array at position ", QString::number(position), u" : ",
                 twentyFrom(text, position)});
        return std::make_shared<Collection>();
    }
    const NestingGuard open;
    ParseState& t = t_state;
    ItemScope items(t.items);
    ++position;
    for (;;) {
        skipBlanks(text, position);
        const int c = ch(text, position);
        if (c == u']') {
            ++position;
            return items.finish();
        }
        if (c == u',') {
            ++position;
            skipBlanks(text, position);
        } else if (atEnd(text, position)) {
            addLine({u"Missing ']': ", lastTwenty(text)});
            return items.finish();
        }
        try {
            Value value = ParseValue(text, position);
            const bool literalFailed = t.literalFailed;
            t.literalFailed = false;
            if (t.stopped) {
                if (!value.isEmpty())
                    items.add(std::move(value));
                return items.finish();
            }
            items.add(std::move(value));
            // A malformed literal leaves the position on it, so the loop would meet it on every
            // pass: its value is kept once and the enclosing level carries on from there.
            if (literalFailed)
                return items.finish();
        } catch (const Error& e) {
            t.literalFailed = false;
            addLine({e.message(), u": ", twentyFrom(text, position)});
            return items.finish();
        }
    }
}

namespace {

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
        const char16_t c = data[p - 1];
        if (c != u'\\')
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

} // namespace

// One scan finds the end and the length; a string without escapes is then copied from the text
// in one piece, and one with escapes decoded into a buffer of exactly its size. No
// cStringBuilder is involved: growing one by chunks copied long HTML fragments several times.
QString ParseString(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    const int quote = ch(text, position);
    ++position;
    const auto* data = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    if (position < 1 || position > size)
        return QString();
    const qsizetype start = position;
    qsizetype p = start;
    const qsizetype length = walkString(data, size, quote, p, nullptr);
    position = p <= size ? p + 1 : p;
    if (length == 0)
        return QString();
    if (length == p - start)
        return sharedCopy(QStringView(data + start - 1, length), kMaxSharedString);
    QString decoded(length, Qt::Uninitialized);
    qsizetype again = start;
    walkString(data, size, quote, again, reinterpret_cast<char16_t*>(decoded.data()));
    return decoded;
}

Value ParseNumber(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    const qsizetype start = position;
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    while (position >= 1 && position <= size) {
        if (!isNumberChar(data[position - 1].unicode())) {
            const QStringView number = QStringView(text).sliced(start - 1, position - start);
            if (const std::optional<Decimal> simple = simpleDecimal(number))
                return Value::fromNumber(*simple);
            return Value::fromNumber(Decimal::fromText(number));
        }
        ++position;
    }
    // A number that runs up to the end is not converted.
    return Value();
}

bool ParseBoolean(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    if (literalAt(text, position, u"true")) {
        position += 4;
        return true;
    }
    if (literalAt(text, position, u"false")) {
        position += 5;
        return false;
    }
    addLine({u"Invalid Boolean at position ", QString::number(position), u" : ",
             restFrom(text, position)});
    t_state.literalFailed = true;
    return false;
}

Value ParseNull(const QString& text, qsizetype& position) {
    skipBlanks(text, position);
    if (literalAt(text, position, u"null")) {
        position += 4;
        return Value::null();
    }
    addLine({u"Invalid null value at position ", QString::number(position), u" : ",
             restFrom(text, position)});
    t_state.literalFailed = true;
    return Value();
}

} // namespace steps

} // namespace orvana::json
