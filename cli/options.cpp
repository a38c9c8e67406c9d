#include "cli/options.h"

#include "jobs/down_album.h"
#include "jobs/portal.h"
#include "net/mod_down_file.h"

#include "json/error.h"
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QUrl>
#include <algorithm>

namespace orvana::cli {

namespace {

enum class Takes { Nothing, Value };

struct OptionName {
    QStringView name;
    Takes takes;
};

constexpr OptionName kOptions[] = {
    {u"--portal-host", Takes::Value}, {u"-o", Takes::Value},        {u"--output", Takes::Value},
    {u"--proxy", Takes::Value},       {u"--cookies", Takes::Value}, {u"-q", Takes::Nothing},
    {u"--quiet", Takes::Nothing},     {u"-h", Takes::Nothing},      {u"--help", Takes::Nothing},
    {u"--version", Takes::Nothing},
};

// The option that arg names (with "=value" allowed on long names), or nullptr.
const OptionName* optionOf(const QString& arg) {
    for (const OptionName& o : kOptions) {
        if (arg == o.name)
            return &o;
        if (o.takes == Takes::Value && o.name.startsWith(u"--") && arg.startsWith(o.name) &&
            arg.size() > o.name.size() && arg.at(o.name.size()) == u'=')
            return &o;
    }
    return nullptr;
}

} // namespace

GlobalOptions TakeGlobalOptions(QStringList& args) {
    GlobalOptions options;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == u"--") {
            rest += args.mid(i + 1);
            break;
        }
        const OptionName* o = optionOf(arg);
        if (!o) {
            rest.append(arg);
            continue;
        }
        if (o->name == u"-h" || o->name == u"--help") {
            options.help = true;
            continue;
        }
        if (o->name == u"--version") {
            options.version = true;
            continue;
        }
        if (o->name == u"-q" || o->name == u"--quiet") {
            options.quiet = true;
            continue;
        }
        QString value;
        if (arg.size() > o->name.size()) {
            value = arg.mid(o->name.size() + 1);
        } else if (i + 1 < args.size()) {
            value = args.at(++i);
        } else {
            throw Error(ErrorKind::InvalidArgument,
                        u"option " + o->name.toString() + u" needs a value");
        }
        if (o->name == u"--portal-host")
            options.portalHost = value;
        else if (o->name == u"-o" || o->name == u"--output")
            options.output = value;
        else if (o->name == u"--proxy")
            options.proxy = value;
        else if (o->name == u"--cookies")
            options.cookies = value;
    }
    args = rest;
    return options;
}

QStringList CommandFirst(const QStringList& args) {
    QStringList leading;
    qsizetype i = 0;
    while (i < args.size()) {
        const OptionName* o = optionOf(args.at(i));
        if (!o)
            break;
        leading.append(args.at(i));
        if (o->takes == Takes::Value && args.at(i) == o->name && i + 1 < args.size())
            leading.append(args.at(++i));
        ++i;
    }
    if (i >= args.size())
        return args; // options only: nothing to move them behind
    return QStringList{args.at(i)} + leading + args.mid(i + 1);
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
        if (port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            return false;
        const int number = port.toInt();
        if (number < 1 || number > 65535)
            return false;
    }
    const QUrl url(u"http://" + text + u'/', QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

void CheckGlobalOptions(const GlobalOptions& options) {
    if (options.output && options.output->isEmpty())
        throw Error(ErrorKind::InvalidArgument,
                    QStringLiteral("option -o/--output needs a folder, not an empty text"));
    (void)PortalHostOf(options);
    if (options.cookies) {
        // A user who names a cookie file expects a login; going on without one would fetch
        // low bit-rate files that later runs then keep as present.
        QFile file(*options.cookies);
        if (QFileInfo(*options.cookies).isDir() || !file.open(QIODevice::ReadOnly))
            throw Error(ErrorKind::InvalidArgument,
                        u"cannot read cookie file " + *options.cookies + u": " +
                            (QFileInfo(*options.cookies).isDir() ? QStringLiteral("it is a folder")
                                                                 : file.errorString()));
    }
    if (options.proxy && !net::ParseProxyText(*options.proxy))
        throw Error(ErrorKind::InvalidArgument, jobs::kInvalidProxy.toString());
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
               "  -h, --help                 show this help\n"
               "  --version                  show the version\n")
        .arg(jobs::DefaultPortalHost());
}

} // namespace orvana::cli
