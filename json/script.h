#pragma once

#include "json/script_ui.h"
#include "json/value.h"
#include <QString>
#include <memory>
#include <optional>

namespace orvana::json {

// Runs scripts written in JSON: an array of texts and command objects ("alert", "input",
// "switch", "set", "get", "if", "return"; any other member becomes a "<%NAME(args)%>"
// placeholder) and returns the text they produce. Variables stored by "set" live as long as the
// object, across Eval calls. Boxes go through the ScriptUi, which must outlive the interpreter.
// One thread at a time (the one the ScriptUi may be called on).
class cJSONScript {
public:
    // At most this many ExecCommand calls are active at once; a call beyond them yields
    // kNestingMessage in place of its value.
    static constexpr int kMaxNesting = 41;
    static constexpr char16_t kNestingMessage[] = u"ERROR: Nesting level exceeded.";
    // The longest text (in UTF-16 code units) that any value or the whole output may reach.
    static constexpr qsizetype kMaxTextLength = qsizetype(1) << 24;

    explicit cJSONScript(ScriptUi& ui) noexcept : m_ui(ui) {}
    cJSONScript(const cJSONScript&) = delete;
    cJSONScript& operator=(const cJSONScript&) = delete;

    // Parses sJSON and runs its items, returning the output. A script that does not parse cleanly
    // is not run: the parser's error text is shown in a "Parser Error" box and the result is "".
    // Throws orvana::Error Shape, naming what was wrong, when the script breaks the shape rules,
    // and Overflow when a text would outgrow kMaxTextLength; the evaluation ends there and the
    // variables keep what was stored before.
    [[nodiscard]] QString Eval(const QString& sJSON);

    // The text of one value: scalars as text, arrays item by item, objects command by command.
    // Fails as Eval does.
    [[nodiscard]] QString ExecCommand(const Value& obj);

    // The parser's error text of the most recent Eval ("" when it parsed cleanly or before any).
    [[nodiscard]] const QString& LastParseErrors() const noexcept { return m_lastParseErrors; }
    // How many ExecCommand calls are active (0 whenever no call is running).
    [[nodiscard]] int NestingDepth() const noexcept { return m_depth; }
    // The text stored under name, or nullopt when nothing was stored.
    [[nodiscard]] std::optional<QString> Variable(const QString& name) const;

private:
    [[nodiscard]] QString runCommandObject(const Dictionary& commands);
    [[nodiscard]] QString runSwitch(const QString& key, const Value& parameters);
    [[nodiscard]] QString runIf(const QString& key, const Value& parameters);

    ScriptUi& m_ui;
    int m_depth = 0;
    // Name to text; created by the first "set".
    std::shared_ptr<Dictionary> m_variables;
    QString m_lastParseErrors;
};

} // namespace orvana::json
