#include "cli/cli.h"
#include "cli/options.h"
#include "net/text_conversion.h"

#include "json/error.h"
#include "json/script.h"
#include <QFile>
#include <deque>
#include <optional>

namespace orvana::cli {

namespace {

QString scriptUsage() {
    return QStringLiteral(
        "usage: orvana-dl-cli script [--answers FILE] FILE|-\n\n"
        "Runs a script written in JSON and prints the text it produces (as it is, with no\n"
        "line added). Message boxes are printed to stderr as [title] message. An input box\n"
        "prints its prompt to stderr and reads one line from stdin; an empty line takes the\n"
        "default shown in brackets, and the end of input cancels.\n\n"
        "  --answers FILE   read the input answers from FILE, one per line, instead of\n"
        "                   stdin; when they run out, further input boxes are cancelled\n\n"
        "Exit status: 0 done, 1 the script did not parse or broke the script rules,\n"
        "2 bad arguments or an unreadable or non-UTF-8 file.\n");
}

// Reads FILE or stdin as UTF-8 text, without a leading byte-order mark; any failure is a refusal
// of the input (exit 2).
QString readText(const QString& path, const CliIo& io) {
    QString text = ReadUtf8Input(path, io);
    // Editors on Windows often start UTF-8 files with a byte-order mark; it is not script text.
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// The lines of a text; a last line needs no line end, and "\r\n" ends a line like "\n".
std::deque<QString> splitLines(const QString& text) {
    std::deque<QString> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        QString line = text.mid(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The script's boxes on the terminal: messages on stderr, answers from an answers file or from
// stdin. Answers that were not typed at a terminal are echoed, so stderr reads as a transcript.
class TerminalScriptUi : public json::ScriptUi {
public:
    TerminalScriptUi(const CliIo& io, std::optional<std::deque<QString>> answers)
        : m_io(io), m_answers(std::move(answers)), m_echo(m_answers || !IsTerminal(io.in)) {}

    void messageBox(const QString& title, const QString& message, json::MessageIcon) override {
        QString text = u'[' + title + u"] " + message;
        if (!text.endsWith(u'\n'))
            text += u'\n';
        m_io.printErr(text);
        FlushDevice(m_io.err);
    }

    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        QString shown = u'[' + title + u"] " + prompt;
        if (!defaultText.isEmpty())
            shown += u" [" + defaultText + u']';
        m_io.printErr(shown + u": ");
        FlushDevice(m_io.err);
        const std::optional<QString> line = nextLine();
        if (!line) {
            m_io.printErr(QStringLiteral("(cancelled)\n"));
            return std::nullopt;
        }
        if (m_echo)
            m_io.printErr(*line + u'\n');
        // Enter alone keeps the entry as it was, as in an input box.
        return line->isEmpty() ? defaultText : *line;
    }

private:
    std::optional<QString> nextLine() {
        if (m_answers) {
            if (m_answers->empty())
                return std::nullopt;
            QString line = m_answers->front();
            m_answers->pop_front();
            return line;
        }
        QByteArray bytes = m_io.in->readLine();
        if (bytes.isEmpty())
            return std::nullopt;
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        return Utf8BytesToText(bytes);
    }

    const CliIo& m_io;
    std::optional<std::deque<QString>> m_answers;
    bool m_echo;
};

} // namespace

int RunScript(const QStringList& args, const CliIo& io) {
    const QCommandLineOption answersOption(QStringLiteral("answers"), QString(),
                                           QStringLiteral("FILE"));
    const CommandArgs given =
        ParseCommandArgs(args, Globals::HelpOnly, {answersOption}, u'\n' + scriptUsage());
    if (given.global.help) {
        io.print(scriptUsage());
        return kExitOk;
    }
    std::optional<QString> answersPath;
    if (given.values.contains(QStringLiteral("answers")))
        answersPath = given.values.value(QStringLiteral("answers"));
    if (given.positional.size() > 1)
        throw Error(ErrorKind::InvalidArgument,
                    u"only one script can be run at a time, got " + given.positional.at(0) +
                        u" and " + given.positional.at(1) + u"\n\n" + scriptUsage());
    const std::optional<QString> scriptPath =
        given.positional.isEmpty() ? std::nullopt
                                   : std::optional<QString>(given.positional.first());
    if (!scriptPath)
        throw Error(ErrorKind::InvalidArgument, scriptUsage());
    if (*scriptPath == u"-" && answersPath == u"-")
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("the script and the answers cannot both come from the standard "
                                   "input; give one of them as a file"));

    const QString script = readText(*scriptPath, io);
    std::optional<std::deque<QString>> answers;
    if (answersPath)
        answers = splitLines(readText(*answersPath, io));

    TerminalScriptUi ui(io, std::move(answers));
    json::cJSONScript interpreter(ui);
    // A shape failure leaves as orvana::Error; Run prints its message and exits 1.
    const QString output = interpreter.Eval(script);
    if (!interpreter.LastParseErrors().isEmpty())
        return kExitFailed;
    io.print(output);
    return kExitOk;
}

} // namespace orvana::cli
