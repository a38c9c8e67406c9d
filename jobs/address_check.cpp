#include "jobs/address_check.h"

#include "jobs/portal.h"
#include "net/text_conversion.h"

namespace orvana::jobs {

std::optional<QString> CheckAddress(const QString& text, const QString& portalHost,
                                    AddressKind kind) {
    QString rest = text;
    rest.remove(QStringLiteral("http://"));
    rest.remove(portalHost + (kind == AddressKind::Album ? u"/album" : u"/artist"));
    rest.remove(u'/');
    // Only U+0020 counts as the space to trim, as the box's users type it.
    rest = TrimSpaces(rest);
    if (!IsNumericId(rest))
        return std::nullopt;
    return rest;
}

} // namespace orvana::jobs
