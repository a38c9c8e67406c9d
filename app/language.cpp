#include "app/language.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTranslator>

namespace orvana::app {

QString UiLanguage(const QSettings& settings) {
    QString asked = qEnvironmentVariable("ORVANA_LANG");
    if (asked.isEmpty())
        asked = settings.value(QStringLiteral("ui/language")).toString();
    // The system locale is not asked on purpose: the Chinese texts are the product's own.
    const QString code = asked.trimmed().toLower();
    return code == u"en" || code.startsWith(u"en_") || code.startsWith(u"en-")
               ? QStringLiteral("en")
               : QStringLiteral("zh");
}

QTranslator* InstallLanguage(const QString& language) {
    if (language != u"en")
        return nullptr;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/orvana-dl_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

} // namespace orvana::app
