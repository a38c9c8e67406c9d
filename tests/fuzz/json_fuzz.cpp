// libFuzzer target for the JSON parser: any input must parse without a crash, a hang, a leak or
// an escaping exception, the results must keep the parser's own guarantees, and the tree and
// error text must be exactly those of the character-at-a-time reference parser, also after every
// container of both was changed.
#include "net/text_conversion.h"
#include "tests/json/reference_parser.h"

#include "json/canonical.h"
#include "json/error.h"
#include "json/parser.h"
#include <QByteArray>
#include <QString>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Everything observable about a tree, numbers with their exact scale and sign.
void dump(const orvana::json::Value& value, QString& out) {
    using orvana::json::Value;
    out += QString::number(int(value.kind()));
    switch (value.kind()) {
    case Value::Kind::Boolean:
        out += value.toBool() ? u't' : u'f';
        break;
    case Value::Kind::String:
        out += QString::number(value.toString().size()) + u':' + value.toString();
        break;
    case Value::Kind::Number: {
        const orvana::json::Decimal d = value.toNumber();
        out += QChar(d.isNegative() ? u'-' : u'+') + d.toPlainString() + u'/' +
               QString::number(d.scale());
        break;
    }
    case Value::Kind::Dictionary:
        for (const auto& [key, item] : *value.dictionary()) {
            out += QString::number(key.size()) + u':' + key;
            dump(item, out);
        }
        out += u'}';
        break;
    case Value::Kind::Collection:
        for (const Value& item : *value.collection())
            dump(item, out);
        out += u']';
        break;
    default:
        break;
    }
}

// Changes every container the same way in both trees: each collection gets one more item, each
// dictionary one more member (or a new value for it), innermost first.
void growEverywhere(const orvana::json::Value& value) {
    if (const auto collection = value.collection()) {
        for (qsizetype i = 1; i <= collection->Count(); ++i)
            growEverywhere(collection->Item(i));
        collection->Add(orvana::json::Value::fromString(QStringLiteral("an added item")));
    } else if (const auto dictionary = value.dictionary()) {
        for (const orvana::json::Value& member : dictionary->Items())
            growEverywhere(member);
        dictionary->setItem(QStringLiteral("+"),
                            orvana::json::Value::fromString(QStringLiteral("an added member")));
    }
}

QString dump(const std::optional<orvana::json::Value>& value) {
    QString out;
    if (value)
        dump(*value, out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orvana::json;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = orvana::Utf8BytesToText(bytes);

    const std::optional<Value> tree = Parse(text);
    const QString errors = ParseErrors();
    // No object exactly when the text starts with neither bracket; every other line ends in CRLF.
    require(tree.has_value() == (errors != u"Invalid JSON"));
    require(!tree || errors.isEmpty() || errors.endsWith(u"\r\n"));

    const std::optional<Value> oracle = reference::Parse(text);
    require(reference::ParseErrors() == errors);
    require(dump(oracle) == dump(tree));

    const QString canonical = ToCanonicalJson(tree);
    // Lone surrogates are escaped, so the line survives UTF-8 unchanged.
    require(QString::fromUtf8(canonical.toUtf8()) == canonical);

    // A clean parse whose canonical line needs no escapes reads back as itself.
    if (tree && errors.isEmpty() && !canonical.contains(u'\\')) {
        const std::optional<Value> again = Parse(canonical);
        require(ParseErrors().isEmpty());
        require(ToCanonicalJson(again) == canonical);
    }

    // Containers changed after the parse: ours move out of the parse's arena, the reference's
    // were made by hand; both must read the same afterwards.
    if (tree) {
        growEverywhere(*tree);
        growEverywhere(*oracle);
        require(dump(oracle) == dump(tree));
    }

    // The number conversion either succeeds or fails with one of its two failures.
    if (text.size() <= 256) {
        try {
            const Decimal d = Decimal::fromText(text);
            require(Decimal::fromText(d.toPlainString()) == d);
        } catch (const orvana::Error& e) {
            require(e.kind() == orvana::ErrorKind::TypeMismatch ||
                    e.kind() == orvana::ErrorKind::Overflow);
        }
    }
    return 0;
}
