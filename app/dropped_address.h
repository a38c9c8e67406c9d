#pragma once

#include "jobs/address_check.h"

#include <QString>
#include <optional>

class QMimeData;

namespace orvana::app {

// A portal address dropped on the window, and the box it belongs in.
struct DroppedAddress {
    jobs::AddressKind kind;
    QString address; // portal base + "/album/" or "/artist/" + ID
};

// The album or singer address a drop carries: one http address (text/uri-list, else plain text)
// on the portal host whose path is "/album/" or "/artist/" followed by digits, with no query,
// fragment or user. nullopt for anything else. Pure.
[[nodiscard]] std::optional<DroppedAddress> DroppedPortalAddress(const QMimeData& mime,
                                                                 const QString& portalHost);

} // namespace orvana::app
