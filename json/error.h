#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace orvana {

enum class ErrorKind {
    IndexOutOfRange,
    Overflow,
    TypeMismatch,
    DuplicateKey,
    InvalidArgument,
    Transport,
    Io,
    Shape,
    Cancelled,
};

// The project's one exception type. The message is written for a user: it says what failed.
class Error : public std::exception {
public:
    Error(ErrorKind kind, QString message)
        : m_kind(kind), m_message(std::move(message)), m_what(m_message.toUtf8()) {}

    [[nodiscard]] ErrorKind kind() const noexcept { return m_kind; }
    [[nodiscard]] const QString& message() const noexcept { return m_message; }
    [[nodiscard]] const char* what() const noexcept override { return m_what.constData(); }

private:
    ErrorKind m_kind;
    QString m_message;
    QByteArray m_what;
};

} // namespace orvana
