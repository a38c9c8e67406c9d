#include "tests/json/reference_parser.h"

#include "json/error.h"
#include "json/parser.h"
#include "json/string_builder.h"
#include <algorithm>

namespace orvana::json::reference {

namespace {

using namespace Qt::StringLiterals;

// The parser's own limits, which the rules leave to it: the error text stops growing at 16 Mi
// characters (one closing line says so), and at most kMaxNesting containers are open at once.
constexpr qsizetype kMaxErrorText = qsizetype(1) << 24;

// ch() of a position outside the text: the empty string, which equals no character.
constexpr int kNoCharacter = -1;

struct State {
    QString errors;
    bool capped = false;
    int open = 0;         // containers being read
    bool stopped = false; // a container beyond the limit was refused: every open one returns
};

thread_local State t_state;

void note(const QString& line) {
    State& t = t_state;
    if (t.capped)
        return;
    if (!t.errors.isEmpty() && t.errors.size() + line.size() + 2 > kMaxErrorText) {
        t.errors += u"Too many errors, the rest were not recorded\r\n"_s;
        t.capped = true;
        return;
    }
    t.errors += line + u"\r\n"_s;
}

// Counts one container as open while it is read.
struct Open {
    Open() { ++t_state.open; }
    ~Open() { --t_state.open; }
};

// The value of the leading hexadecimal digits of text (either case), 0 when there are none.
unsigned leadingHex(const QString& text) {
    unsigned value = 0;
    for (QChar c : text) {
        const qsizetype at = QStringView(u"0123456789abcdefABCDEF").indexOf(c);
        if (at < 0)
            break;
        value = value * 16 + unsigned(at < 16 ? at : at - 6);
    }
    return value;
}

// One step's view of the text and of the shared 1-based position.
class Reader {
public:
    Reader(const QString& text, qsizetype& position) : m_text(text), m_pos(position) {}

    [[nodiscard]] int ch() const {
        return m_pos >= 1 && m_pos <= m_text.size() ? m_text.at(m_pos - 1).unicode() : kNoCharacter;
    }
    // Beyond the last character. A position before the first is possible only in an empty text,
    // where the loops below treat it like the end.
    [[nodiscard]] bool atEnd() const { return m_pos > m_text.size(); }
    [[nodiscard]] bool inText() const { return m_pos >= 1 && !atEnd(); }
    [[nodiscard]] QString here() const { return QString::number(m_pos); }
    [[nodiscard]] QString rest() const { return m_text.mid(std::max<qsizetype>(m_pos, 1) - 1); }
    [[nodiscard]] QString twenty() const { return rest().left(20); }
    [[nodiscard]] QString lastTwenty() const { return m_text.right(20); }
    [[nodiscard]] QString charsHere(qsizetype n) const {
        return m_pos >= 1 ? m_text.mid(m_pos - 1, n) : QString();
    }

    void skipBlanks() {
        if (m_text.isEmpty())
            return;
        m_pos = std::max<qsizetype>(m_pos, 1);
        bool pending = false;
        bool inComment = false;
        bool block = false;
        while (inText()) {
            const int c = ch();
            if (c == u'\r' || c == u'\n') {
                if (!block)
                    pending = inComment = false;
            } else if (c == u'\t' || c == u' ' || c == u'(' || c == u')') {
                // a blank
            } else if (c == u'/') {
                if (block && pending) {
                    block = pending = inComment = false;
                } else if (!block && pending) {
                    pending = false;
                    inComment = true;
                } else if (!block) {
                    pending = true;
                    inComment = false;
                }
            } else if (c == u'*') {
                if (pending) {
                    pending = false;
                    inComment = block = true;
                } else {
                    pending = true;
                }
            } else if (!inComment) {
                return;
            }
            ++m_pos;
        }
    }

    // The head of each pass of a container's loop: false when the container ends here, at its
    // closer (consumed) or at the end of the text (with its "Missing" line). After a comma
    // neither test is made.
    bool another(char16_t closer) {
        skipBlanks();
        if (ch() == closer) {
            ++m_pos;
            return false;
        }
        if (ch() == u',') {
            ++m_pos;
            skipBlanks();
        } else if (atEnd()) {
            note(u"Missing '"_s + QChar(closer) + u"': "_s + lastTwenty());
            return false;
        }
        return true;
    }

    Value value() {
        skipBlanks();
        const int c = ch();
        if (c == u'{' || c == u'[') {
            if (t_state.open >= kMaxNesting) {
                note(u"Nesting too deep at position "_s + here());
                t_state.stopped = true;
                return Value();
            }
            return c == u'{' ? Value::fromDictionary(object()) : Value::fromCollection(array());
        }
        if (c == u'"' || c == u'\'')
            return Value::fromString(string());
        if (c == u't' || c == u'f')
            return Value::fromBool(boolean());
        if (c == u'n')
            return null();
        return number();
    }

    std::shared_ptr<Dictionary> object() {
        auto dictionary = std::make_shared<Dictionary>();
        skipBlanks();
        if (ch() != u'{') {
            note(u"Invalid Object at position "_s + here() + u" : "_s + rest());
            return dictionary;
        }
        const Open open;
        ++m_pos;
        while (another(u'}')) {
            const QString name = key();
            try {
                const Value member = value();
                if (t_state.stopped) {
                    if (!member.isEmpty() && !dictionary->Exists(name))
                        dictionary->Add(name, member);
                    return dictionary;
                }
                dictionary->Add(name, member);
            } catch (const Error& e) {
                note(e.message() + u": "_s + name);
                return dictionary;
            }
        }
        return dictionary;
    }

    QString key() {
        skipBlanks();
        QString name;
        bool inDouble = false;
        bool inSingle = false;
        while (inText()) {
            const int c = ch();
            if (c == u'"' || c == u'\'') {
                ++m_pos;
                bool& inside = c == u'"' ? inDouble : inSingle;
                inside = !inside;
                if (!inside) {
                    // A closing quote: only blanks may stand before the colon.
                    skipBlanks();
                    if (ch() != u':') {
                        note(u"Invalid Key at position "_s + here() + u" : "_s + name);
                        return name;
                    }
                }
            } else if (c == u':') {
                ++m_pos;
                if (!inDouble && !inSingle)
                    return name;
                name += u':';
            } else {
                if (c != u'\r' && c != u'\n' && c != u'\t' && c != u' ')
                    name += QChar(char16_t(c));
                ++m_pos;
            }
        }
        return name;
    }

    std::shared_ptr<Collection> array() {
        auto collection = std::make_shared<Collection>();
        skipBlanks();
        if (ch() != u'[') {
            note(u"Invalid Array at position "_s + here() + u" : "_s + twenty());
            return collection;
        }
        const Open open;
        ++m_pos;
        while (another(u']')) {
            try {
                skipBlanks();
                const qsizetype begin = m_pos;
                const Value item = value();
                if (t_state.stopped) {
                    if (!item.isEmpty())
                        collection->Add(item);
                    return collection;
                }
                collection->Add(item);
                // Only a malformed literal leaves the position on its first character; read
                // again it would fail on every pass, so it is kept once and the array ends.
                if (m_pos == begin && !atEnd())
                    return collection;
            } catch (const Error& e) {
                note(e.message() + u": "_s + twenty());
                return collection;
            }
        }
        return collection;
    }

    QString string() {
        skipBlanks();
        const int quote = ch();
        ++m_pos;
        cStringBuilder collected;
        while (inText()) {
            const int c = ch();
            ++m_pos;
            if (c != u'\\' && c == quote)
                break;
            if (c != u'\\') {
                collected.Append(QChar(char16_t(c)));
                continue;
            }
            const int e = ch();
            if (e == u'u') {
                const QString four = m_text.mid(m_pos, 4); // the characters after the "u"
                collected.Append(QChar(char16_t(leadingHex(four) % 65536)));
                m_pos += 1 + four.size();
                continue;
            }
            const qsizetype escape = QStringView(u"\"\\/'bfnrt").indexOf(QChar(char16_t(e)));
            if (e != kNoCharacter && escape >= 0) {
                collected.Append(QStringView(u"\"\\/'\b\f\n\r\t").at(escape));
                ++m_pos;
            }
            // Any other character after the backslash is read on the next pass as it is.
        }
        return collected.toString();
    }

    Value number() {
        skipBlanks();
        QString digits;
        while (inText()) {
            const int c = ch();
            if (!QStringView(u"+-0123456789.eE").contains(QChar(char16_t(c))))
                return Value::fromNumber(Decimal::fromText(digits));
            digits += QChar(char16_t(c));
            ++m_pos;
        }
        return Value(); // a number that runs up to the end is not converted
    }

    bool boolean() {
        skipBlanks();
        if (charsHere(4) == u"true") {
            m_pos += 4;
            return true;
        }
        if (charsHere(5) == u"false") {
            m_pos += 5;
            return false;
        }
        note(u"Invalid Boolean at position "_s + here() + u" : "_s + rest());
        return false;
    }

    Value null() {
        skipBlanks();
        if (charsHere(4) == u"null") {
            m_pos += 4;
            return Value::null();
        }
        note(u"Invalid null value at position "_s + here() + u" : "_s + rest());
        return Value();
    }

private:
    const QString& m_text;
    qsizetype& m_pos;
};

} // namespace

std::optional<Value> Parse(const QString& text) {
    steps::Reset();
    qsizetype position = 1;
    Reader reader(text, position);
    reader.skipBlanks();
    if (reader.ch() == u'{')
        return Value::fromDictionary(reader.object());
    if (reader.ch() == u'[')
        return Value::fromCollection(reader.array());
    t_state.errors = u"Invalid JSON"_s;
    return std::nullopt;
}

QString ParseErrors() {
    return t_state.errors;
}

namespace steps {

void Reset() {
    t_state = State();
}

Value ParseValue(const QString& text, qsizetype& position) {
    return Reader(text, position).value();
}

QString ParseKey(const QString& text, qsizetype& position) {
    return Reader(text, position).key();
}

QString ParseString(const QString& text, qsizetype& position) {
    return Reader(text, position).string();
}

Value ParseNumber(const QString& text, qsizetype& position) {
    return Reader(text, position).number();
}

} // namespace steps

} // namespace orvana::json::reference
