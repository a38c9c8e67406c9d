#pragma once

#include <QByteArray>
#include <QString>

namespace orvana {

// Decodes UTF-8 bytes. A leading byte-order mark stays as U+FEFF; every malformed sequence
// becomes U+FFFD. Never fails; pure.
[[nodiscard]] QString Utf8BytesToText(const QByteArray& bytes);

// Whether the bytes are well-formed UTF-8 (for callers that must refuse other input).
[[nodiscard]] bool IsValidUtf8(const QByteArray& bytes);

// Turns each control character (U+0000-U+001F and DEL) into a space, then removes ? | / \ * : " < >
// . (each everywhere, in that order), then the outer U+0020 spaces. Nothing else is touched; the
// result may be empty. Pure.
[[nodiscard]] QString CleanFileName(const QString& name);

// The text with each control character (U+0000-U+001F and DEL) turned into a space, so a
// portal title cannot break a status line or a listing; nothing is trimmed. Pure.
[[nodiscard]] QString ControlsToSpaces(QString text);

// The text without its leading and trailing U+0020 spaces (other blanks stay). Pure.
[[nodiscard]] QString TrimSpaces(QStringView text);

} // namespace orvana
