#pragma once

#include "json/value.h"
#include <QString>
#include <optional>

// The oracle that the differential test and the fuzz target hold the parser to: the reading rules
// written out as plainly as they are stated, one character at a time through ch(position),
// strings collected in a cStringBuilder, keys and numbers by concatenation, containers filled
// through their public Add. Slow on purpose; trees, error texts and positions must agree with
// json::Parse and json::steps exactly.
namespace orvana::json::reference {

[[nodiscard]] std::optional<Value> Parse(const QString& text);
[[nodiscard]] QString ParseErrors();

namespace steps {

// Clears the error text and the nesting state, as Parse does at its start.
void Reset();
[[nodiscard]] Value ParseValue(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseKey(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseString(const QString& text, qsizetype& position);
[[nodiscard]] Value ParseNumber(const QString& text, qsizetype& position);

} // namespace steps

} // namespace orvana::json::reference
