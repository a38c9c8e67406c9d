#pragma once

#include "json/value.h"
#include <QString>
#include <memory>
#include <optional>

// The parser as first written: one character at a time, strings collected in a cStringBuilder,
// containers grown member by member. Kept beside the tuned parser as the oracle that the tests
// and the fuzz target compare it with: trees, error texts and positions must agree exactly.
namespace orvana::json::reference {

[[nodiscard]] std::optional<Value> Parse(const QString& text);
[[nodiscard]] QString ParseErrors();

namespace steps {

void Reset();
void SkipBlanks(const QString& text, qsizetype& position);
[[nodiscard]] Value ParseValue(const QString& text, qsizetype& position);
[[nodiscard]] std::shared_ptr<Dictionary> ParseObject(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseKey(const QString& text, qsizetype& position);
[[nodiscard]] std::shared_ptr<Collection> ParseArray(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseString(const QString& text, qsizetype& position);
[[nodiscard]] Value ParseNumber(const QString& text, qsizetype& position);
[[nodiscard]] bool ParseBoolean(const QString& text, qsizetype& position);
[[nodiscard]] Value ParseNull(const QString& text, qsizetype& position);

} // namespace steps

} // namespace orvana::json::reference
