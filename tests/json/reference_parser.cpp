#include "tests/json/reference_parser.h"

#include "json/error.h"
#include "json/parser.h"
#include "json/string_builder.h"
#include <algorithm>
#include <initializer_list>

namespace orvana::json::reference {

namespace {

// Once the error text holds this many characters, further lines are dropped (one closing line
// says so): each line may quote the rest of the text, so a long text with many problems would
// otherwise need memory quadratic in its length.
constexpr qsizetype kMaxErrorText = qsizetype(1) << 24;

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

struct ParseState {
    QString errors;
    bool errorsCapped = false;
    int depth = 0;              // containers open
    bool stopped = false;       // the nesting limit was hit: every open container returns
    bool literalFailed = false; // the last ParseBoolean/ParseNull met a malformed literal
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
    if (c == u'{')
        return Value::fromDictionary(steps::ParseObject(text, position));
    if (c == u'[')
        return Value::fromCollection(steps::ParseArray(text, position));
    t_state.errors = QStringLiteral("Invalid JSON");
    return std::nullopt;
}

QString ParseErrors() {
    return t_state.errors;
}

namespace steps {

void Reset() {
    t_state = ParseState();
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
    SkipBlanks(text, position);
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
    auto dictionary = std::make_shared<Dictionary>();
    SkipBlanks(text, position);
    if (ch(text, position) != u'{') {
        addLine({u"Invalid Object at position ", QString::number(position), u" : ",
                 restFrom(text, position)});
        return dictionary;
    }
    const NestingGuard open;
    ParseState& t = t_state;
    ++position;
    for (;;) {
        SkipBlanks(text, position);
        const int c = ch(text, position);
        if (c == u'}') {
            ++position;
            return dictionary;
        }
        if (c == u',') {
            // Straight to the key: no test for "}" or for the end follows a comma.
            ++position;
            SkipBlanks(text, position);
        } else if (atEnd(text, position)) {
            addLine({u"Missing '}': ", lastTwenty(text)});
            return dictionary;
        }
        const QString key = ParseKey(text, position);
        try {
            Value value = ParseValue(text, position);
            t.literalFailed = false;
            if (t.stopped) {
                // The refused container is not added, a partly built one is; no message.
                if (!value.isEmpty() && !dictionary->Exists(key))
                    dictionary->Add(key, std::move(value));
                return dictionary;
            }
            dictionary->Add(key, std::move(value));
        } catch (const Error& e) {
            t.literalFailed = false;
            addLine({e.message(), u": ", key});
            return dictionary;
        }
    }
}

QString ParseKey(const QString& text, qsizetype& position) {
    SkipBlanks(text, position);
    QString key;
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
            SkipBlanks(text, position);
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
    auto collection = std::make_shared<Collection>();
    SkipBlanks(text, position);
    if (ch(text, position) != u'[') {
        addLine({u"Invalid Array at position ", QString::number(position), u" : ",
                 twentyFrom(text, position)});
        return collection;
    }
    const NestingGuard open;
    ParseState& t = t_state;
    ++position;
    for (;;) {
        SkipBlanks(text, position);
        const int c = ch(text, position);
        if (c == u']') {
            ++position;
            return collection;
        }
        if (c == u',') {
            ++position;
            SkipBlanks(text, position);
        } else if (atEnd(text, position)) {
            addLine({u"Missing ']': ", lastTwenty(text)});
            return collection;
        }
        try {
            Value value = ParseValue(text, position);
            const bool literalFailed = t.literalFailed;
            t.literalFailed = false;
            if (t.stopped) {
                if (!value.isEmpty())
                    collection->Add(std::move(value));
                return collection;
            }
            collection->Add(std::move(value));
            // A malformed literal leaves the position on it, so the loop would meet it on every
            // pass: its value is kept once and the enclosing level carries on from there.
            if (literalFailed)
                return collection;
        } catch (const Error& e) {
            t.literalFailed = false;
            addLine({e.message(), u": ", twentyFrom(text, position)});
            return collection;
        }
    }
}

QString ParseString(const QString& text, qsizetype& position) {
    SkipBlanks(text, position);
    const int quote = ch(text, position);
    ++position;
    cStringBuilder collected;
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    while (position >= 1 && position <= size) {
        const char16_t c = data[position - 1].unicode();
        if (c == u'\\') {
            ++position;
            const int e = ch(text, position);
            switch (e) {
            case u'"':
            case u'\\':
            case u'/':
            case u'\'':
                collected.Append(QChar(char16_t(e)));
                ++position;
                break;
            case u'b':
                collected.Append(QChar(u'\b'));
                ++position;
                break;
            case u'f':
                collected.Append(QChar(u'\f'));
                ++position;
                break;
            case u'n':
                collected.Append(QChar(u'\n'));
                ++position;
                break;
            case u'r':
                collected.Append(QChar(u'\r'));
                ++position;
                break;
            case u't':
                collected.Append(QChar(u'\t'));
                ++position;
                break;
            case u'u': {
                // Always the 4 characters after the "u" (fewer at the end), even a quote.
                const qsizetype first = position + 1;
                const qsizetype last = std::min(position + 4, size);
                unsigned value = 0;
                for (qsizetype k = first; k <= last; ++k) {
                    const int digit = hexDigit(data[k - 1].unicode());
                    if (digit < 0)
                        break;
                    value = value * 16 + unsigned(digit);
                }
                collected.Append(QChar(char16_t(value % 65536)));
                position = last + 1;
                break;
            }
            default:
                // Nothing is appended; the next pass takes e as an ordinary character.
                break;
            }
            continue;
        }
        if (c == quote) {
            ++position;
            return collected.toString();
        }
        const qsizetype start = position;
        while (position <= size) {
            const char16_t d = data[position - 1].unicode();
            if (d == u'\\' || d == quote)
                break;
            ++position;
        }
        const qsizetype run = position - start;
        collected.Append(QStringView(data + start - 1, run));
    }
    return collected.toString();
}

Value ParseNumber(const QString& text, qsizetype& position) {
    SkipBlanks(text, position);
    const qsizetype start = position;
    const QChar* data = text.constData();
    const qsizetype size = text.size();
    while (position >= 1 && position <= size) {
        if (!isNumberChar(data[position - 1].unicode()))
            return Value::fromNumber(
                Decimal::fromText(QStringView(text).sliced(start - 1, position - start)));
        ++position;
    }
    // A number that runs up to the end is not converted.
    return Value();
}

bool ParseBoolean(const QString& text, qsizetype& position) {
    SkipBlanks(text, position);
    const QStringView rest = restFrom(text, position);
    if (rest.startsWith(u"true")) {
        position += 4;
        return true;
    }
    if (rest.startsWith(u"false")) {
        position += 5;
        return false;
    }
    addLine({u"Invalid Boolean at position ", QString::number(position), u" : ", rest});
    t_state.literalFailed = true;
    return false;
}

Value ParseNull(const QString& text, qsizetype& position) {
    SkipBlanks(text, position);
    const QStringView rest = restFrom(text, position);
    if (rest.startsWith(u"null")) {
        position += 4;
        return Value::null();
    }
    addLine({u"Invalid null value at position ", QString::number(position), u" : ", rest});
    t_state.literalFailed = true;
    return Value();
}

} // namespace steps

} // namespace orvana::json::reference
