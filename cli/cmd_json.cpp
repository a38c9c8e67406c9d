#include "cli/cli.h"

#include "json/canonical.h"
#include "json/error.h"
#include "json/parser.h"

namespace orvana::cli {

namespace {

// Qt writes a lone surrogate as "?"; the error text shows it as U+FFFD instead, as a UTF-8
// decoder would (a context of 20 characters can cut a surrogate pair in two).
QString withLoneSurrogatesReplaced(QString text) {
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

int RunJson(const QStringList& args, const CliIo& io) {
    if (args.size() != 1)
        throw Error(ErrorKind::InvalidArgument, QStringLiteral("usage: orvana-dl-cli json FILE|-"));
    // An unreadable input is refused like an invalid one (exit 2); exit 1 means the parser
    // reported problems.
    const QString text = ReadUtf8Input(args.first(), io);
    const std::optional<json::Value> tree = json::Parse(text);
    const QString errors = json::ParseErrors();
    io.print(json::ToCanonicalJson(tree) + u'\n');
    io.printErr(withLoneSurrogatesReplaced(errors));
    return errors.isEmpty() ? kExitOk : kExitFailed;
}

} // namespace orvana::cli
