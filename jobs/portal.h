#pragma once

#include <QString>

namespace orvana::jobs {

// The portal host this build talks to when nothing else is given (a value of the build).
[[nodiscard]] QString DefaultPortalHost();

// "http://" + host: the base of every portal address.
[[nodiscard]] QString PortalBase(const QString& host);

// Whether text is an ID the portal can have: one or more ASCII digits, nothing else.
[[nodiscard]] bool IsNumericId(QStringView text);

} // namespace orvana::jobs
