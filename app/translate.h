// The window's texts in the language the environment asks for.
#pragma once

#include <QString>

class QTranslator;

namespace kelvarin {

// source (a text of res/strings.h) in the window's language: as it stands in
// Chinese, through the installed translation otherwise.
QString Tr(const char* source);

// Installs the translation of the window's texts that the environment asks
// for (LanguageFromEnvironment: English for an English locale, Chinese, the
// texts as they stand, otherwise), with the application running. Returns the
// translator installed, owned by the application; nullptr for Chinese or when
// the translation cannot be loaded.
QTranslator* InstallTranslation();

// Installs Qt's own texts (file choosers, standard buttons, the context menus
// of edit fields) in the window's language when it is Chinese: Qt's
// qtbase_zh_CN.qm from Qt's translations folder (Debian's
// qt6-translations-l10n), else from a "translations" folder beside the
// program, else compiled into it (:/i18n/). Returns false, Qt's texts staying English, when the language is
// English or no such file can be loaded.
bool InstallQtTranslation();

}  // namespace kelvarin
