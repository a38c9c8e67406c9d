#include "json/script.h"

#include "json/canonical.h"
#include "json/depth_guard.h"
#include "json/error.h"
#include "json/parser.h"
#include "json/string_builder.h"
#include <vector>

namespace orvana::json {

namespace {

// A script's text collected in a builder, refused once it outgrows kMaxTextLength: variables can
// double a text at every step, and a few lines of script must not exhaust the memory.
class OutputText {
public:
    void append(QStringView text) {
        if (text.size() > cJSONScript::kMaxTextLength - m_builder.Length())
            throw Error(ErrorKind::Overflow,
                        QStringLiteral("The script's text grew beyond %1 characters; the script "
                                       "was stopped")
                            .arg(cJSONScript::kMaxTextLength));
        m_builder.Append(text);
    }
    [[nodiscard]] QString toString() const { return m_builder.toString(); }

private:
    cStringBuilder m_builder;
};

[[noreturn]] void throwShape(const QString& message) {
    throw Error(ErrorKind::Shape, message);
}

QString describe(const Value& value) {
    switch (value.kind()) {
    case Value::Kind::Empty:
        return QStringLiteral("missing");
    case Value::Kind::Null:
        return QStringLiteral("null");
    case Value::Kind::Boolean:
        return QStringLiteral("a boolean");
    case Value::Kind::String:
        return QStringLiteral("a string");
    case Value::Kind::Number:
        return QStringLiteral("a number");
    case Value::Kind::Dictionary:
        return QStringLiteral("an object");
    case Value::Kind::Collection:
        return QStringLiteral("an array");
    }
    return {};
}

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

// A value taken as text without running it: strings as they are, numbers in plain decimal
// notation, anything else in the canonical one-line form.
QString literalText(const Value& value) {
    if (value.isString())
        return value.toString();
    if (value.isNumber())
        return value.toNumber().toPlainString();
    return ToCanonicalJson(value);
}

// As literalText, but an absent value is the empty text (an absent name or case).
QString nameText(const Value& value) {
    return value.isEmpty() ? QString() : literalText(value);
}

// The parameters of one command member: its object value, or none for a string value.
class Parameters {
public:
    Parameters(const QString& key, const Value& value) : m_key(key), m_value(value) {}

    // Empty when absent or when the member has no parameter object.
    [[nodiscard]] Value operator[](const char16_t* name) const {
        if (const auto dictionary = m_value.dictionary())
            return dictionary->Item(QString::fromUtf16(name));
        if (m_value.isCollection())
            throwShape(QStringLiteral("The parameters of %1 are an array; write them as an object "
                                      "with named members (reading %2)")
                           .arg(quoted(m_key), quoted(QString::fromUtf16(name))));
        return {};
    }

private:
    const QString& m_key;
    const Value& m_value;
};

} // namespace

std::optional<QString> cJSONScript::Variable(const QString& name) const {
    if (!m_variables || !m_variables->Exists(name))
        return std::nullopt;
    return m_variables->Item(name).toString();
}

QString cJSONScript::Eval(const QString& sJSON) {
    const std::optional<Value> tree = Parse(sJSON);
    m_lastParseErrors = ParseErrors();
    if (!m_lastParseErrors.isEmpty() || !tree) {
        m_ui.messageBox(QStringLiteral("Parser Error"), m_lastParseErrors,
                        MessageIcon::Exclamation);
        return {};
    }
    if (const auto dictionary = tree->dictionary()) {
        if (dictionary->Count() == 0)
            return {};
        throwShape(QStringLiteral("The script is an object; a script must be an array of items "
                                  "(strings, null, objects or arrays)"));
    }
    const std::shared_ptr<Collection> items = tree->collection();
    OutputText output;
    qsizetype position = 0;
    for (const Value& item : *items) {
        ++position;
        switch (item.kind()) {
        case Value::Kind::Null:
            output.append(u"null");
            break;
        case Value::Kind::String:
            output.append(item.toString());
            break;
        case Value::Kind::Dictionary:
        case Value::Kind::Collection:
            output.append(ExecCommand(item));
            break;
        case Value::Kind::Boolean:
        case Value::Kind::Number:
        case Value::Kind::Empty:
            throwShape(QStringLiteral("Item %1 of the script is %2; each item must be a string, "
                                      "null, an object or an array")
                           .arg(position)
                           .arg(describe(item)));
        }
    }
    return output.toString();
}

QString cJSONScript::ExecCommand(const Value& obj) {
    if (m_depth >= kMaxNesting)
        return QString::fromUtf16(kNestingMessage);
    const detail::DepthGuard guard(m_depth);
    switch (obj.kind()) {
    case Value::Kind::Empty:
        return {};
    case Value::Kind::Null:
        return QStringLiteral("null");
    case Value::Kind::Boolean:
        return obj.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Value::Kind::String:
        return obj.toString();
    case Value::Kind::Number:
        return obj.toNumber().toPlainString();
    case Value::Kind::Collection: {
        // Hold the container: a command run below must not be able to free it mid-loop.
        const std::shared_ptr<Collection> items = obj.collection();
        OutputText text;
        for (const Value& item : *items)
            text.append(ExecCommand(item));
        return text.toString();
    }
    case Value::Kind::Dictionary: {
        const std::shared_ptr<Dictionary> commands = obj.dictionary();
        return runCommandObject(*commands);
    }
    }
    return {};
}

QString cJSONScript::runCommandObject(const Dictionary& commands) {
    // The members are taken once, before the first command runs.
    const std::vector<Dictionary::Member> members(commands.begin(), commands.end());
    OutputText text;
    for (const auto& [key, value] : members) {
        if (!value.isString() && !value.isObject())
            throwShape(QStringLiteral("The value of %1 is %2; a command needs an object of "
                                      "parameters or a string")
                           .arg(quoted(key), describe(value)));
        const Parameters parameters(key, value);
        const QString command = key.toLower();
        if (command == u"alert") {
            const QString message = ExecCommand(parameters[u"message"]);
            const QString title = ExecCommand(parameters[u"title"]);
            m_ui.messageBox(title, message, MessageIcon::Information);
        } else if (command == u"input") {
            const QString prompt = ExecCommand(parameters[u"prompt"]);
            const QString title = ExecCommand(parameters[u"title"]);
            const QString defaultText = ExecCommand(parameters[u"default"]);
            text.append(m_ui.inputBox(prompt, title, defaultText).value_or(QString()));
        } else if (command == u"switch") {
            text.append(runSwitch(key, value));
        } else if (command == u"set") {
            const QString name = nameText(parameters[u"name"]);
            const QString stored = ExecCommand(parameters[u"value"]);
            if (!m_variables)
                m_variables = std::make_shared<Dictionary>();
            m_variables->setItem(name, Value::fromString(stored));
        } else if (command == u"get") {
            const QString name = nameText(parameters[u"name"]);
            QString found = m_variables ? ExecCommand(m_variables->Item(name)) : QString();
            // The default is run only when it is needed: it may ask the user.
            if (found.isEmpty())
                found = ExecCommand(parameters[u"default"]);
            text.append(found);
        } else if (command == u"if") {
            text.append(runIf(key, value));
        } else if (command == u"return") {
            if (!value.isString())
                throwShape(QStringLiteral("The value of %1 is %2; it must be a string")
                               .arg(quoted(key), describe(value)));
            text.append(value.toString());
        } else {
            QString arguments;
            if (value.isString()) {
                arguments = value.toString();
            } else if (const auto dictionary = value.dictionary()) {
                QStringList parts;
                for (const auto& member : *dictionary)
                    parts.append(literalText(member.second));
                arguments = parts.join(u',');
            }
            text.append(QString(u"<%" + key.toUpper() + u'(' + arguments + u")%>"));
        }
    }
    return text.toString();
}

QString cJSONScript::runSwitch(const QString& key, const Value& value) {
    const Parameters parameters(key, value);
    // The default is run first, also when an item matches.
    const QString defaultText = ExecCommand(parameters[u"default"]);
    const QString caseText = ExecCommand(parameters[u"case"]).toLower();
    const Value items = parameters[u"items"];
    if (items.isEmpty())
        throwShape(QStringLiteral("%1 has no \"items\"; give it an array of objects with \"case\" "
                                  "and \"return\"")
                       .arg(quoted(key)));
    const std::shared_ptr<Collection> list = items.collection();
    if (!list)
        throwShape(QStringLiteral("The \"items\" of %1 are %2; they must be an array of objects "
                                  "with \"case\" and \"return\"")
                       .arg(quoted(key), describe(items)));
    qsizetype position = 0;
    for (const Value& item : *list) {
        ++position;
        const std::shared_ptr<Dictionary> choice = item.dictionary();
        if (!choice)
            throwShape(QStringLiteral("Item %1 of the \"items\" of %2 is %3; it must be an object "
                                      "with \"case\" and \"return\"")
                           .arg(position)
                           .arg(quoted(key), describe(item)));
        // An item's own case is compared as written, not run.
        if (nameText(choice->Item(QStringLiteral("case"))).toLower() == caseText)
            return ExecCommand(choice->Item(QStringLiteral("return")));
    }
    return defaultText;
}

QString cJSONScript::runIf(const QString& key, const Value& value) {
    const Parameters parameters(key, value);
    const QString a = ExecCommand(parameters[u"value1"]);
    const QString b = ExecCommand(parameters[u"value2"]);
    const QString type = nameText(parameters[u"type"]).toLower();
    // Only "eq" ignores case; the order comparisons go code unit by code unit.
    const int order = QStringView(a).compare(QStringView(b), Qt::CaseSensitive);
    bool holds = false;
    if (type == u"eq")
        holds = a.toLower() == b.toLower();
    else if (type == u"gt")
        holds = order > 0;
    else if (type == u"lt")
        holds = order < 0;
    else if (type == u"gte")
        holds = order >= 0;
    else if (type == u"lte")
        holds = order <= 0;
    return ExecCommand(parameters[holds ? u"true" : u"false"]);
}

} // namespace orvana::json
