#include "cli/cli.h"
#include "net/text_conversion.h"

#include "json/canonical.h"
#include "json/error.h"
#include "json/parser.h"

namespace orvana::cli {

int RunJson(const QStringList& args, const CliIo& io) {
    if (args.size() != 1)
        throw Error(ErrorKind::InvalidArgument, QStringLiteral("usage: orvana-dl-cli json FILE|-"));
    const QString& path = args.first();
    const QByteArray bytes = ReadInput(path, io);
    if (!IsValidUtf8(bytes)) {
        const QString name = path == u"-" ? QStringLiteral("the standard input") : path;
        throw Error(
            ErrorKind::InvalidArgument,
            QStringLiteral("%1 is not valid UTF-8 text; save it as UTF-8 and try again").arg(name));
    }
    const QString text = Utf8BytesToText(bytes);
    const std::optional<json::Value> tree = json::Parse(text);
    const QString errors = json::ParseErrors();
    io.print(json::ToCanonicalJson(tree) + u'\n');
    // Lone surrogates in the error text (quoted input) become U+FFFD in UTF-8.
    io.printErr(errors);
    return errors.isEmpty() ? kExitOk : kExitFailed;
}

} // namespace orvana::cli
