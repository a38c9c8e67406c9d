#pragma once

#include <QString>
#include <optional>

namespace orvana::json {

enum class MessageIcon { Information, Exclamation };

// What a script shows the user: the GUI opens modal dialogs, the command line uses the terminal,
// tests script the answers. Called on the thread that runs the script; each call blocks until the
// user has answered.
class ScriptUi {
public:
    virtual ~ScriptUi() = default;

    // A box with an OK button; returns once it is closed.
    virtual void messageBox(const QString& title, const QString& message, MessageIcon icon) = 0;

    // An input box whose entry starts as defaultText. The text entered, or nullopt when the user
    // cancelled.
    [[nodiscard]] virtual std::optional<QString>
    inputBox(const QString& prompt, const QString& title, const QString& defaultText) = 0;
};

} // namespace orvana::json
