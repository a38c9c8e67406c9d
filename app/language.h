#pragma once

#include <QString>

class QSettings;
class QTranslator;

namespace orvana::app {

// The language of the window's texts: ORVANA_LANG if set, else the "ui/language" setting.
// Chinese, the texts as written, whatever the system locale; "en" (or "en_…") asks for English.
// Returns "en" or "zh".
[[nodiscard]] QString UiLanguage(const QSettings& settings);

// Installs the window's translation for language into the application: nothing for "zh", the
// compiled-in English texts for "en". Returns the translator installed (owned by the
// application), or null when none is needed or it cannot be loaded.
QTranslator* InstallLanguage(const QString& language);

} // namespace orvana::app
