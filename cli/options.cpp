#include "cli/options.h"

#include "jobs/defaults.h"

#include "json/error.h"
#include <QCommandLineParser>
#include <QProcessEnvironment>
#include <QUrl>
#include <algorithm>
#include <optional>

namespace orvana::cli {

namespace {

// Non-empty and ASCII digits only: toInt alone would take " 2" and "+2".
bool allDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The global options: those with a value, and the switches; a one-letter name first where
// there is one. The last name is the one looked up.
struct TextOption {
    const char16_t* shortName;
    const char16_t* name;
    const char16_t* valueName;
    std::optional<QString> GlobalOptions::*member;
};
constexpr TextOption kTextOptions[] = {
    {nullptr, u"portal-host", u"HOST[:PORT]", &GlobalOptions::portalHost},
    {u"o", u"output", u"DIR", &GlobalOptions::output},
    {nullptr, u"proxy", u"TEXT", &GlobalOptions::proxy},
    {nullptr, u"cookies", u"FILE", &GlobalOptions::cookies},
    {nullptr, u"archive", u"FILE", &GlobalOptions::archive},
    {nullptr, u"parallel", u"N", &GlobalOptions::parallel},
};
struct Switch {
    const char16_t* shortName;
    const char16_t* name;
    bool GlobalOptions::*member;
};
constexpr Switch kSwitches[] = {
    {u"q", u"quiet", &GlobalOptions::quiet},  {nullptr, u"version", &GlobalOptions::version},
    {nullptr, u"json", &GlobalOptions::json}, {nullptr, u"dry-run", &GlobalOptions::dryRun},
    {nullptr, u"tag", &GlobalOptions::tags},  {nullptr, u"m3u", &GlobalOptions::playlist},
};

QStringList namesOf(const char16_t* shortName, const char16_t* name) {
    QStringList names;
    if (shortName)
        names << QString::fromUtf16(shortName);
    return names << QString::fromUtf16(name);
}

QList<QCommandLineOption> globalOptionList() {
    QList<QCommandLineOption> options;
    for (const TextOption& o : kTextOptions)
        options << QCommandLineOption(namesOf(o.shortName, o.name), {},
                                      QString::fromUtf16(o.valueName));
    for (const Switch& o : kSwitches)
        options << QCommandLineOption(namesOf(o.shortName, o.name));
    return options;
}

// The global options as parser read them.
GlobalOptions globalOptionsOf(const QCommandLineParser& parser) {
    GlobalOptions g;
    for (const TextOption& o : kTextOptions) {
        const QString name = QString::fromUtf16(o.name);
        if (parser.isSet(name))
            g.*o.member = parser.value(name);
    }
    for (const Switch& o : kSwitches)
        g.*o.member = parser.isSet(QString::fromUtf16(o.name));
    return g;
}

const QCommandLineOption& helpOption() {
    static const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    return help;
}

// "-o" for a one-letter name, "--output" for a longer one.
QString spelled(const QString& name) {
    return (name.size() == 1 ? u"-" : u"--") + name;
}

// A parser that knows the given options. "-oDIR" and "-qo DIR" read as getopt reads them.
void setUp(QCommandLineParser& parser, Globals globals, const QList<QCommandLineOption>& own) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.addOption(helpOption());
    if (globals == Globals::Taken)
        parser.addOptions(globalOptionList());
    parser.addOptions(own);
}

// Why parser refused args, in our words: QCommandLineParser's own texts name options without
// their dashes and would change with a translation loaded into the tool.
QString refusalOf(const QCommandLineParser& parser, const QStringList& args,
                  const QList<QCommandLineOption>& known) {
    if (!parser.unknownOptionNames().isEmpty())
        return u"unknown option: " + spelled(parser.unknownOptionNames().first());
    auto takesValue = [&known](const QString& name) {
        for (const QCommandLineOption& o : known) {
            if (o.names().contains(name))
                return !o.valueName().isEmpty();
        }
        return false;
    };
    for (const QString& arg : args) {
        if (arg == u"--")
            break;
        if (arg.startsWith(u"--") && arg.contains(u'=')) {
            const QString name = arg.mid(2).section(u'=', 0, 0);
            if (!takesValue(name))
                return u"option " + spelled(name) + u" takes no value";
        }
    }
    // A value is missing only when its option is the last argument ("-qo" names -o).
    const QString last = args.isEmpty() ? QString() : args.last();
    const QString name = last.startsWith(u"--") ? last.mid(2) : last.right(1);
    return u"option " + spelled(name) + u" needs a value";
}

} // namespace

CommandArgs ParseCommandArgs(const QStringList& args, Globals globals,
                             const QList<QCommandLineOption>& own, const QString& usage) {
    QCommandLineParser parser;
    setUp(parser, globals, own);
    // The program name is the first argument QCommandLineParser reads; it skips it.
    const bool parsed = parser.parse(QStringList{QString()} + args);

    CommandArgs result;
    // Help wins over a stray option: "album --help --bogus" shows the help.
    result.global.help = parser.isSet(helpOption());
    if (!parsed && !result.global.help) {
        QList<QCommandLineOption> known = own;
        known += helpOption();
        if (globals == Globals::Taken)
            known += globalOptionList();
        const QString text = refusalOf(parser, args, known);
        throw Error(ErrorKind::InvalidArgument, usage.isEmpty() ? text : text + u'\n' + usage);
    }
    if (globals == Globals::Taken) {
        const bool help = result.global.help;
        result.global = globalOptionsOf(parser);
        result.global.help = help;
    }
    for (const QCommandLineOption& o : own) {
        if (parser.isSet(o))
            result.values.insert(o.names().first(), parser.value(o));
    }
    result.positional = parser.positionalArguments();
    return result;
}

QStringList CommandFirst(const QStringList& args) {
    // Parsed only as far as the command name: all after it is the command's to read.
    auto commandTail = [](const QStringList& leading) -> std::optional<QStringList> {
        QCommandLineParser parser;
        setUp(parser, Globals::Taken, {});
        parser.setOptionsAfterPositionalArgumentsMode(
            QCommandLineParser::ParseAsPositionalArguments);
        if (!parser.parse(QStringList{QString()} + leading))
            return std::nullopt;
        return parser.positionalArguments();
    };
    const std::optional<QStringList> tail = commandTail(args);
    if (!tail || tail->isEmpty() || tail->size() == args.size())
        return args; // no options before a command: nothing to move
    QStringList leading = args.mid(0, args.size() - tail->size());
    // "--" right before the command ended the options; as the value of an option it stays.
    if (leading.last() == u"--" && commandTail(leading.mid(0, leading.size() - 1)))
        leading.removeLast();
    return QStringList{tail->first()} + leading + tail->mid(1);
}

QString PortalHostOf(const GlobalOptions& options) {
    QString host = options.portalHost.value_or(QString());
    if (!options.portalHost)
        host = QProcessEnvironment::systemEnvironment().value(QStringLiteral("ORVANA_PORTAL_HOST"));
    if (!options.portalHost && host.isEmpty())
        return jobs::DefaultPortalHost();
    if (!IsPortalHost(host))
        throw Error(ErrorKind::InvalidArgument,
                    u"invalid portal host: '" + host + u"' (give HOST or HOST:PORT)");
    return host;
}

bool IsPortalHost(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7f || c.isSpace() ||
            QStringView(u"/?#@\\").contains(c))
            return false;
    }
    QString name = text;
    QString port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return false;
        name = text.left(close + 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return false;
        if (!rest.isEmpty())
            port = rest.mid(1);
        if (!rest.isEmpty() && port.isEmpty())
            return false;
    } else if (const qsizetype colon = text.indexOf(u':'); colon >= 0) {
        name = text.left(colon);
        port = text.mid(colon + 1);
        if (port.isEmpty() || port.contains(u':'))
            return false;
    }
    if (name.isEmpty())
        return false;
    if (!port.isEmpty()) {
        if (port.size() > 5 || !allDigits(port))
            return false;
        const int number = port.toInt();
        if (number < 1 || number > 65535)
            return false;
    }
    const QUrl url(u"http://" + text + u'/', QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

int ParallelOf(const GlobalOptions& options) {
    if (!options.parallel)
        return 1;
    const QString& text = *options.parallel;
    constexpr int most = jobs::kMaxParallelSongs;
    bool ok = allDigits(text);
    const int n = ok ? text.toInt(&ok) : 0;
    if (!ok || n < 1 || n > most)
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("option --parallel takes a number from 1 to %1, not '%2'")
                        .arg(most)
                        .arg(text));
    return n;
}

QString VersionText() {
    return QStringLiteral("orvana-dl-cli " ORVANA_VERSION);
}

QString GlobalOptionsHelp() {
    return QStringLiteral(
               "options:\n"
               "  --portal-host HOST[:PORT]  portal to talk to (default: $ORVANA_PORTAL_HOST, else "
               "%1)\n"
               "  -o, --output DIR           folder the albums are stored in (default: current "
               "folder)\n"
               "  --proxy TEXT               fetch pages, covers and songs through this proxy:\n"
               "                             host:port, http://host:port or socks5://host:port\n"
               "  --cookies FILE             Netscape cookies.txt to send (default: the login's "
               "file)\n"
               "  -q, --quiet                print only failures and the closing summary line\n"
               "  --json                     write every event as one JSON line on stdout\n"
               "  --dry-run                  only read the album pages and song lists: print the\n"
               "                             planned files, create and fetch none\n"
               "  --archive FILE             skip the songs listed in FILE, and add each song\n"
               "                             stored or present (FILE is made when missing)\n"
               "  --tag                      write ID3v2.3 tags and the cover into each song "
               "stored\n"
               "  --m3u                      write playlist.m3u8 into each album folder\n"
               "  --parallel N               fetch up to N songs of an album at a time (1-%2,\n"
               "                             default 1)\n"
               "  -h, --help                 show this help\n"
               "  --version                  show the version\n")
        .arg(jobs::DefaultPortalHost())
        .arg(jobs::kMaxParallelSongs);
}

} // namespace orvana::cli
