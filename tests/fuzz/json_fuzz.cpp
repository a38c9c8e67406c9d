// libFuzzer target for the JSON parser: any input must parse without a crash, a hang, a leak or
// an escaping exception, and the results must keep the parser's own guarantees.
#include "net/text_conversion.h"

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

    const QString canonical = ToCanonicalJson(tree);
    // Lone surrogates are escaped, so the line survives UTF-8 unchanged.
    require(QString::fromUtf8(canonical.toUtf8()) == canonical);

    // A clean parse whose canonical line needs no escapes reads back as itself.
    if (tree && errors.isEmpty() && !canonical.contains(u'\\')) {
        const std::optional<Value> again = Parse(canonical);
        require(ParseErrors().isEmpty());
        require(ToCanonicalJson(again) == canonical);
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
