// Choosing and applying the window's translation.
#include "translate.h"

#include "catalog.h"

#include <QCoreApplication>
#include <QTranslator>

namespace kelvarin {

QString Tr(const char* source) {
    return QCoreApplication::translate("Kelvarin", source);
}

QTranslator* InstallTranslation() {
    if (LanguageFromEnvironment() != Language::kEnglish) {
        return nullptr;
    }
    // Built from translations/kelvarin_en.ts and compiled into the program.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/kelvarin_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

}  // namespace kelvarin
