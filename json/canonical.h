#pragma once

#include "json/value.h"
#include <QString>
#include <QStringView>
#include <optional>

namespace orvana::json {

// One-line canonical form of a value tree: {"key":value,...} in insertion order, [v,...],
// strings quoted (see CanonicalString), numbers in plain decimal notation, true / false / null,
// "empty" for Empty. A lone surrogate is written as an escape, so the result converts to UTF-8
// without loss. Pure; any thread.
[[nodiscard]] QString ToCanonicalJson(const Value& value);

// As above; "none" when a parse gave no object.
[[nodiscard]] QString ToCanonicalJson(const std::optional<Value>& value);

// A double-quoted string: '"' as \", backslash as \\, code units below 0x20 and lone surrogates
// as \u00xx / \uxxxx (lower-case hex), everything else as it is.
[[nodiscard]] QString CanonicalString(QStringView text);

} // namespace orvana::json
