#pragma once

#include <QString>
#include <optional>

namespace orvana::jobs {

enum class AddressKind {
    Album,  // portal base + "/album/" + ID
    Singer, // portal base + "/artist/" + ID
};

// Reduces a typed address to its ID: removes every "http://", every portalHost + "/album" (or
// "/artist"), every "/", then the outer spaces; what is left must be digits. Case-sensitive.
// nullopt when refused (the caller shows "无法识别的地址"). Pure.
[[nodiscard]] std::optional<QString> CheckAddress(const QString& text, const QString& portalHost,
                                                  AddressKind kind);

} // namespace orvana::jobs
