// The web options dialog.
#include "web_options_dlg.h"

#include "catalog.h"
#include "dialog_builder.h"
#include "res/dialogs.h"
#include "site_folder.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelvarin {

QString ChooseFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start);
}

CWebOptionsDlg::CWebOptionsDlg(const SendOptions& options, QWidget* parent)
    : QDialog(parent), m_chooseFolder([](QWidget* owner) { return ChooseFolder(owner); }) {
    setObjectName(QStringLiteral("webOptionsDialog"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogControls controls =
        BuildDialog(*this, res::kWebOptionsDialog, res::kWebOptionsDialogItems);
    m_contentTypes = controls.Get<QCheckBox>(res::kIdcContentTypes);
    m_gzip = controls.Get<QCheckBox>(res::kIdcGzip);
    m_siteRoot = controls.Get<QLineEdit>(res::kIdcSiteRoot);
    m_siteRootError = controls.Get<QLabel>(res::kIdcSiteRootError);
    m_verify = controls.Get<QCheckBox>(res::kIdcVerify);
    m_allOrNothing = controls.Get<QCheckBox>(res::kIdcAllOrNothing);
    auto* browse = controls.Get<QPushButton>(res::kIdcBrowseRoot);
    auto* ok = controls.Get<QPushButton>(res::kIdOk);
    auto* cancel = controls.Get<QPushButton>(res::kIdCancel);
    m_contentTypes->setObjectName(QStringLiteral("contentTypes"));
    m_gzip->setObjectName(QStringLiteral("gzip"));
    m_siteRoot->setObjectName(QStringLiteral("siteRoot"));
    m_siteRootError->setObjectName(QStringLiteral("siteRootError"));
    m_siteRootError->setStyleSheet(QStringLiteral("color: #b00000"));
    m_verify->setObjectName(QStringLiteral("verify"));
    m_allOrNothing->setObjectName(QStringLiteral("allOrNothing"));
    browse->setObjectName(QStringLiteral("browseRoot"));
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));

    m_contentTypes->setChecked(options.pack.contentTypes);
    m_gzip->setChecked(options.pack.gzip);
    m_siteRoot->setText(QString::fromStdString(options.pack.siteRoot));
    m_verify->setChecked(options.verifyAfterSend);
    m_allOrNothing->setChecked(options.allOrNothing);

    connect(browse, &QPushButton::clicked, this, &CWebOptionsDlg::OnBrowseRoot);
    connect(ok, &QPushButton::clicked, this, &CWebOptionsDlg::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_contentTypes->setFocus(Qt::OtherFocusReason);
}

SendOptions CWebOptionsDlg::Options() const {
    SendOptions options;
    options.pack.contentTypes = m_contentTypes->isChecked();
    options.pack.gzip = m_gzip->isChecked();
    options.pack.siteRoot = m_siteRoot->text().trimmed().toStdString();
    options.verifyAfterSend = m_verify->isChecked();
    options.allOrNothing = m_allOrNothing->isChecked();
    return options;
}

void CWebOptionsDlg::SetFolderChooser(std::function<QString(QWidget*)> chooser) {
    if (chooser) {
        m_chooseFolder = std::move(chooser);
    }
}

void CWebOptionsDlg::OnOk() {
    const std::string root = Options().pack.siteRoot;
    if (!root.empty() && !IsReadableFolder(root)) {
        const MessageCatalog catalog(LanguageFromEnvironment());
        m_siteRootError->setText(
            QString::fromStdString(catalog.Text(MessageId::kNotAFolder, {root})));
        m_siteRoot->setFocus(Qt::OtherFocusReason);
        m_siteRoot->selectAll();
        return;
    }
    accept();
}

void CWebOptionsDlg::OnBrowseRoot() {
    const QString folder = m_chooseFolder(this);
    if (!folder.isEmpty()) {
        m_siteRoot->setText(folder);
    }
}

}  // namespace kelvarin
