// libFuzzer: the download-page cutter and the address check take any page or typed text.
#include "jobs/address_check.h"
#include "jobs/download_page.h"
#include "net/text_conversion.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString page = orvana::Utf8BytesToText(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const std::optional<QString> address = orvana::jobs::CutFileAddress(page);
    if (address) {
        // What is cut lies after a marker of the page, and unescaping never makes it longer.
        if (!page.contains(orvana::jobs::kFileLinkMarker) ||
            address->size() > page.size() - orvana::jobs::kFileLinkMarker.size())
            std::abort();
    }
    const std::optional<QString> id = orvana::jobs::CheckAddress(
        page, QStringLiteral("music.orvana.example"), orvana::jobs::AddressKind::Album);
    if (id && (id->isEmpty() || id->contains(u'/')))
        std::abort();
    return 0;
}
