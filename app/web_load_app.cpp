// The application object.
#include "web_load_app.h"

#include "dialog_builder.h"
#include "dialog_units.h"
#include "translate.h"
#include "web_load_dlg.h"

namespace kelvarin {

CWebLoadApp::CWebLoadApp(int& argc, char** argv, std::vector<std::string> args)
    : QApplication(argc, argv), m_args(std::move(args)) {
    setApplicationName(QStringLiteral("kelvarin"));
    setApplicationDisplayName(QStringLiteral("Kelvarin"));
    setDesktopFileName(QStringLiteral("kelvarin"));
    InstallDialogFontSubstitution();
    InstallTranslation();
    InstallQtTranslation();
    setWindowIcon(WindowIcon());
}

bool CWebLoadApp::InitInstance() {
    CWebLoadDlg dialog(m_args);
    dialog.exec();
    return false;
}

}  // namespace kelvarin
