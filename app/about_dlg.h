// CAboutDlg: the about box, with the icon, the name and version, and OK.
#pragma once

#include <QDialog>

namespace kelvarin {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    // Builds the about box from its layout table; OK (the default button)
    // and Escape close it.
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace kelvarin
