#include "json/canonical.h"

#include "json/error.h"
#include "json/tree.h"
#include <QSet>
#include <vector>

namespace orvana::json {

namespace {

void appendHex4(QString& out, char16_t c) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    out += u"\\u";
    out += QChar(kHex[(c >> 12) & 0xF]);
    out += QChar(kHex[(c >> 8) & 0xF]);
    out += QChar(kHex[(c >> 4) & 0xF]);
    out += QChar(kHex[c & 0xF]);
}

void appendString(QString& out, QStringView text) {
    out += u'"';
    const qsizetype n = text.size();
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += text.sliced(runStart, end - runStart);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        bool escape = c < 0x20 || c == u'"' || c == u'\\';
        bool pairedHigh = false;
        if (QChar::isHighSurrogate(c)) {
            pairedHigh = i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode());
            escape = !pairedHigh;
        } else if (QChar::isLowSurrogate(c)) {
            // A low surrogate after a high one was consumed with it; here it stands alone.
            escape = true;
        }
        if (pairedHigh) {
            ++i;
            continue;
        }
        if (!escape)
            continue;
        flush(i);
        runStart = i + 1;
        if (c == u'"')
            out += u"\\\"";
        else if (c == u'\\')
            out += u"\\\\";
        else
            appendHex4(out, c);
    }
    flush(n);
    out += u'"';
}

void appendScalar(QString& out, const Value& value) {
    switch (value.kind()) {
    case Value::Kind::Empty:
        out += u"empty";
        break;
    case Value::Kind::Null:
        out += u"null";
        break;
    case Value::Kind::Boolean:
        out += value.toBool() ? u"true" : u"false";
        break;
    case Value::Kind::String:
        appendString(out, value.stringView());
        break;
    case Value::Kind::Number:
        out += value.toNumber().toPlainString();
        break;
    case Value::Kind::Dictionary:
    case Value::Kind::Collection:
        break;
    }
}

// One open container while writing; an explicit stack, so a tree of any depth is written
// without deep recursion. The elements are read where they are stored: the containers stay alive
// through the root value, and nothing changes them while they are written.
struct Frame {
    const detail::Cell* cell;
    std::span<const Dictionary::Entry> members;
    std::span<const Value> items;
    bool isDictionary;
    size_t next = 0;
};

} // namespace

QString CanonicalString(QStringView text) {
    QString out;
    out.reserve(text.size() + 2);
    appendString(out, text);
    return out;
}

QString ToCanonicalJson(const Value& value) {
    QString out;
    std::vector<Frame> stack;
    QSet<const void*> open;
    // Opens a container or writes a scalar.
    auto begin = [&](const Value& v) {
        if (!v.isObject()) {
            appendScalar(out, v);
            return;
        }
        Frame f{detail::ValueAccess::cellOf(v), {}, {}, v.isDictionary()};
        // Containers are shared by reference, so a hand-built tree can hold itself.
        if (open.contains(f.cell))
            throw Error(ErrorKind::Shape,
                        QStringLiteral("The value cannot be written: a container holds itself"));
        open.insert(f.cell);
        auto* cell = const_cast<detail::Cell*>(f.cell);
        if (f.isDictionary)
            f.members = detail::elementsOf<Dictionary::Entry>(cell);
        else
            f.items = detail::elementsOf<Value>(cell);
        out += f.isDictionary ? u'{' : u'[';
        stack.push_back(f);
    };
    begin(value);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == (f.isDictionary ? f.members.size() : f.items.size())) {
            out += f.isDictionary ? u'}' : u']';
            open.remove(f.cell);
            stack.pop_back();
            continue;
        }
        if (f.next > 0)
            out += u',';
        const size_t at = f.next++;
        if (f.isDictionary) {
            const Dictionary::Entry& m = f.members[at];
            appendString(out, m.key.stringView());
            out += u':';
            begin(m.value); // may reallocate the stack: f is not used after this
        } else {
            begin(f.items[at]);
        }
    }
    return out;
}

QString ToCanonicalJson(const std::optional<Value>& value) {
    if (!value)
        return QStringLiteral("none");
    return ToCanonicalJson(*value);
}

} // namespace orvana::json
