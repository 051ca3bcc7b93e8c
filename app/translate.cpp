// Choosing and applying the window's translation.
#include "translate.h"

#include "catalog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
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

bool InstallQtTranslation() {
    if (LanguageFromEnvironment() != Language::kChinese) {
        return false;
    }
    // Where the system keeps Qt's translations, then beside the program (a
    // build that brings its own Qt), then compiled in (the Windows build);
    // without any, Qt's texts stay English.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/translations"),
                               QStringLiteral(":/i18n")};
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : folders) {
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            return true;
        }
    }
    delete translator;
    return false;
}

}  // namespace kelvarin
