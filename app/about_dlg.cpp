// The about box.
#include "about_dlg.h"

#include "dialog_builder.h"
#include "res/dialogs.h"

#include <QPushButton>

namespace kelvarin {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogControls controls = BuildDialog(*this, res::kAboutDialog, res::kAboutDialogItems);
    if (QPushButton* ok = controls.Get<QPushButton>(res::kIdOk)) {
        ok->setObjectName(QStringLiteral("ok"));
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace kelvarin
