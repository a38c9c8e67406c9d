// Feeds arbitrary bytes, decoded as a fetched page is, to the HTML document and reads every
// element through every accessor the jobs use.
#include "net/html_document.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = orvana::Utf8BytesToText(bytes);
    orvana::net::HtmlDocument document;
    document.Clear();
    try {
        document.write(text);
    } catch (const orvana::Error&) {
        return 0; // over the page caps: refused, and the document is empty
    }
    const orvana::net::HtmlElementList all = document.getElementsByTagName(QStringLiteral("*"));
    size_t total = 0;
    for (int i = 0; i < all.Length() && i < 200; ++i) {
        const orvana::net::HtmlElement element = all[i];
        total += static_cast<size_t>(element.className().size() + element.innerText().size() +
                                     element.href().size() + element.src().size() +
                                     element.title().size() + element.org_src().size() +
                                     element.tagName().size());
        total += static_cast<size_t>(element.getElementsByTagName(QStringLiteral("a")).Length());
    }
    const orvana::net::HtmlElementList links = document.links();
    for (int i = 0; i < links.Length(); ++i)
        total += static_cast<size_t>(document.links(i).href().size());
    total += document.getElementById(QStringLiteral("baseInfo")).isNull() ? 0 : 1;
    // A second write appends to the same markup.
    try {
        document.write(text);
    } catch (const orvana::Error&) {
        return 0;
    }
    total += static_cast<size_t>(document.links().Length());
    return total == static_cast<size_t>(-1) ? 1 : 0;
}
