#pragma once

#include "json/value.h"
#include <QString>
#include <memory>
#include <optional>

namespace orvana::json {

// At most this many containers may be open at once; the next "{" or "[" ends the parse.
inline constexpr int kMaxNesting = 512;

// Parses a text of the tolerant JSON dialect (single quotes, unquoted keys, missing commas,
// comments, parentheses as blanks). Never throws on bad input: every problem appends one line
// (ended by CRLF, except "Invalid JSON") to this thread's error text, which ParseErrors() returns.
// The result is a Dictionary or a Collection, partly built when there were problems, or nullopt
// when the first character after blanks is neither "{" nor "[". The tree belongs to the caller;
// it lives in one arena, which the result and every value taken from the tree keep alive, so
// holding a small part of a big parse keeps the whole parse's memory.
[[nodiscard]] std::optional<Value> Parse(const QString& text);

// The error text of this thread's most recent Parse ("" when it met no problem). Each thread has
// its own, so parses on different threads never mix their errors.
[[nodiscard]] QString ParseErrors();

// The steps of Parse, for tests. Each takes the text and the shared 1-based position (a code-unit
// index; one past the last character means the end), starts with SkipBlanks and advances the
// position in place. They append to this thread's error text; Reset() clears it and the nesting
// state, as Parse does at its start.
namespace steps {

void Reset();
void SkipBlanks(const QString& text, qsizetype& position);
// Number failures (Type mismatch, Overflow) leave as orvana::Error; inside a container they go
// no further than the nearest enclosing ParseObject/ParseArray, which records them, as it
// records Duplicate key.
[[nodiscard]] Value ParseValue(const QString& text, qsizetype& position);
[[nodiscard]] std::shared_ptr<Dictionary> ParseObject(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseKey(const QString& text, qsizetype& position);
[[nodiscard]] std::shared_ptr<Collection> ParseArray(const QString& text, qsizetype& position);
[[nodiscard]] QString ParseString(const QString& text, qsizetype& position);
// Number, or Empty when the number runs up to the end of the text. Throws orvana::Error
// TypeMismatch / Overflow when the collected text is not a number or is out of range.
[[nodiscard]] Value ParseNumber(const QString& text, qsizetype& position);
[[nodiscard]] bool ParseBoolean(const QString& text, qsizetype& position);
// Null, or Empty when malformed.
[[nodiscard]] Value ParseNull(const QString& text, qsizetype& position);

} // namespace steps

} // namespace orvana::json
