#pragma once

#include "jobs/defaults.h"
#include "net/cookie_store.h"

#include <QString>

namespace orvana::jobs {

// "http://" + host: the base of every portal address.
[[nodiscard]] QString PortalBase(const QString& host);

// Whether text is an ID the portal can have: one or more ASCII digits, nothing else.
[[nodiscard]] bool IsNumericId(QStringView text);

// The cookie the portal sets when a user logs in; with it the portal serves 320 kbps files.
inline constexpr char kLoginCookieName[] = "orvana_session";

// Whether the portal's requests would carry an unexpired login cookie from cookies.
[[nodiscard]] bool HoldsPortalLogin(const net::CookieStore& cookies, const QString& portalHost);

} // namespace orvana::jobs
