// The web options dialog.
#include "web_options_dlg.h"

#include "catalog.h"
#include "dialog_builder.h"
#include "res/dialogs.h"
#include "site_folder.h"
#include "translate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelvarin {

QString ChooseFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, QString(), start);
}

namespace {

// The trace file: any file name, existing or new.
QString ChooseTraceFile(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

// A TLS file (PEM): an existing file.
QString ChooseTlsFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent);
}

}  // namespace

CWebOptionsDlg::CWebOptionsDlg(const SendOptions& options, QWidget* parent)
    : QDialog(parent),
      m_chooseFolder([](QWidget* owner) { return ChooseFolder(owner); }),
      m_chooseTrace(ChooseTraceFile),
      m_chooseTlsFile(ChooseTlsFile) {
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
    m_delta = controls.Get<QCheckBox>(res::kIdcDelta);
    m_allOrNothing = controls.Get<QCheckBox>(res::kIdcAllOrNothing);
    m_retries = controls.Get<QComboBox>(res::kIdcRetries);
    m_window = controls.Get<QComboBox>(res::kIdcWindow);
    m_chunk = controls.Get<QComboBox>(res::kIdcChunk);
    m_timeout = controls.Get<QComboBox>(res::kIdcTimeout);
    m_firstTimeout = controls.Get<QComboBox>(res::kIdcFirstTimeout);
    m_traceFile = controls.Get<QLineEdit>(res::kIdcTraceFile);
    auto* browseTrace = controls.Get<QPushButton>(res::kIdcBrowseTrace);
    m_unit = controls.Get<QComboBox>(res::kIdcUnit);
    m_backupDir = controls.Get<QLineEdit>(res::kIdcBackupDir);
    auto* browseBackup = controls.Get<QPushButton>(res::kIdcBrowseBackup);
    m_tls = controls.Get<QCheckBox>(res::kIdcTls);
    m_tlsCert = controls.Get<QLineEdit>(res::kIdcTlsCert);
    m_tlsKey = controls.Get<QLineEdit>(res::kIdcTlsKey);
    m_tlsCa = controls.Get<QLineEdit>(res::kIdcTlsCa);
    m_tlsName = controls.Get<QLineEdit>(res::kIdcTlsName);
    auto* browseCert = controls.Get<QPushButton>(res::kIdcBrowseTlsCert);
    auto* browseKey = controls.Get<QPushButton>(res::kIdcBrowseTlsKey);
    auto* browseCa = controls.Get<QPushButton>(res::kIdcBrowseTlsCa);
    auto* browse = controls.Get<QPushButton>(res::kIdcBrowseRoot);
    auto* ok = controls.Get<QPushButton>(res::kIdOk);
    auto* cancel = controls.Get<QPushButton>(res::kIdCancel);
    m_contentTypes->setObjectName(QStringLiteral("contentTypes"));
    m_gzip->setObjectName(QStringLiteral("gzip"));
    m_siteRoot->setObjectName(QStringLiteral("siteRoot"));
    m_siteRootError->setObjectName(QStringLiteral("siteRootError"));
    m_siteRootError->setStyleSheet(QStringLiteral("color: #b00000"));
    m_verify->setObjectName(QStringLiteral("verify"));
    m_delta->setObjectName(QStringLiteral("delta"));
    m_allOrNothing->setObjectName(QStringLiteral("allOrNothing"));
    browse->setObjectName(QStringLiteral("browseRoot"));
    m_retries->setObjectName(QStringLiteral("retries"));
    m_window->setObjectName(QStringLiteral("window"));
    m_chunk->setObjectName(QStringLiteral("chunk"));
    m_timeout->setObjectName(QStringLiteral("timeout"));
    m_firstTimeout->setObjectName(QStringLiteral("firstTimeout"));
    m_traceFile->setObjectName(QStringLiteral("traceFile"));
    browseTrace->setObjectName(QStringLiteral("browseTrace"));
    m_unit->setObjectName(QStringLiteral("unit"));
    m_backupDir->setObjectName(QStringLiteral("backupDir"));
    browseBackup->setObjectName(QStringLiteral("browseBackup"));
    m_tls->setObjectName(QStringLiteral("tls"));
    m_tlsCert->setObjectName(QStringLiteral("tlsCert"));
    m_tlsKey->setObjectName(QStringLiteral("tlsKey"));
    m_tlsCa->setObjectName(QStringLiteral("tlsCa"));
    m_tlsName->setObjectName(QStringLiteral("tlsName"));
    browseCert->setObjectName(QStringLiteral("browseTlsCert"));
    browseKey->setObjectName(QStringLiteral("browseTlsKey"));
    browseCa->setObjectName(QStringLiteral("browseTlsCa"));
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));

    m_contentTypes->setChecked(options.pack.contentTypes);
    m_gzip->setChecked(options.pack.gzip);
    m_siteRoot->setText(QString::fromStdString(options.pack.siteRoot));
    m_verify->setChecked(options.verifyAfterSend);
    m_delta->setChecked(options.delta);
    m_allOrNothing->setChecked(options.allOrNothing);

    // Retries 0 to 10; 1 to 16 requests in flight or "auto" (item data -1);
    // bytes a request even from 2 to the largest, the usual ones listed.
    for (int n = 0; n <= kMaxRetries; ++n) {
        m_retries->addItem(QString::number(n), n);
    }
    m_retries->setCurrentIndex(options.transfer.retries);
    for (int n = 1; n <= kMaxWindow; ++n) {
        m_window->addItem(QString::number(n), n);
    }
    m_window->addItem(Tr(res::kWindowAuto), -1);
    m_window->setCurrentIndex(options.transfer.autoWindow ? kMaxWindow
                                                          : options.transfer.window - 1);
    m_chunk->setEditable(true);
    m_chunk->setValidator(new QIntValidator(2, static_cast<int>(kLargestChunkBytes), m_chunk));
    for (const int n : {static_cast<int>(kDefaultChunkBytes), 192,
                        static_cast<int>(kLargestChunkBytes)}) {
        m_chunk->addItem(QString::number(n));
    }
    m_chunk->setCurrentText(QString::number(options.transfer.chunkBytes));
    // Time-outs in milliseconds, 1 to the most; the first request's may be
    // "the same" (0).
    for (QComboBox* box : {m_timeout, m_firstTimeout}) {
        box->setEditable(true);
        box->setValidator(new QIntValidator(1, kMaxTimeoutMs, box));
    }
    for (const int ms : {LinkTimeouts{}.replyMs, 500, 1000, 2000, 5000}) {
        m_timeout->addItem(QString::number(ms));
    }
    m_timeout->setCurrentText(QString::number(options.transfer.timeouts.replyMs));
    m_firstTimeout->addItem(Tr(res::kFirstTimeoutSame));
    for (const int ms : {1000, 5000, 10000, 30000}) {
        m_firstTimeout->addItem(QString::number(ms));
    }
    if (options.transfer.firstReplyMs > 0) {
        m_firstTimeout->setCurrentText(QString::number(options.transfer.firstReplyMs));
    } else {
        m_firstTimeout->setCurrentIndex(0);
    }
    m_traceFile->setText(QString::fromUtf8(options.traceFile.c_str()));
    connect(browseTrace, &QPushButton::clicked, this, &CWebOptionsDlg::OnBrowseTrace);
    // The unit identifier: 0 as designed, the usual others listed.
    m_unit->setEditable(true);
    m_unit->setValidator(new QIntValidator(0, 255, m_unit));
    for (const int unit : {0, 1, 255}) {
        m_unit->addItem(QString::number(unit));
    }
    m_unit->setCurrentText(QString::number(options.transfer.unit));
    m_backupDir->setText(QString::fromUtf8(options.backupDir.c_str()));
    connect(browseBackup, &QPushButton::clicked, this, &CWebOptionsDlg::OnBrowseBackup);
    m_tls->setChecked(options.tls.on);
    m_tlsCert->setText(QString::fromUtf8(options.tls.cert.c_str()));
    m_tlsKey->setText(QString::fromUtf8(options.tls.key.c_str()));
    m_tlsCa->setText(QString::fromUtf8(options.tls.ca.c_str()));
    m_tlsName->setText(QString::fromUtf8(options.tls.name.c_str()));
    m_tlsName->setPlaceholderText(Tr(res::kTlsNameHint));
    m_tlsControls = {m_tlsCert, m_tlsKey, m_tlsCa, m_tlsName, browseCert, browseKey, browseCa};
    connect(m_tls, &QCheckBox::toggled, this, &CWebOptionsDlg::OnTlsToggled);
    OnTlsToggled(options.tls.on);
    connect(browseCert, &QPushButton::clicked, this, [this] { BrowseTlsFile(m_tlsCert); });
    connect(browseKey, &QPushButton::clicked, this, [this] { BrowseTlsFile(m_tlsKey); });
    connect(browseCa, &QPushButton::clicked, this, [this] { BrowseTlsFile(m_tlsCa); });

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
    options.delta = m_delta->isChecked();
    options.allOrNothing = m_allOrNothing->isChecked();
    options.transfer.retries = m_retries->currentData().toInt();
    const int window = m_window->currentData().toInt();
    options.transfer.autoWindow = window < 0;
    options.transfer.window = window < 0 ? 1 : window;
    // An odd count is taken as the even one below it; nothing usable, the default.
    const int chunk = m_chunk->currentText().toInt() & ~1;
    options.transfer.chunkBytes =
        chunk >= 2 && chunk <= static_cast<int>(kLargestChunkBytes)
            ? static_cast<std::size_t>(chunk)
            : kDefaultChunkBytes;
    // A time-out that is no number in range: the default.
    const auto milliseconds = [](const QComboBox* box, int fallback) {
        bool ok = false;
        const int ms = box->currentText().trimmed().toInt(&ok);
        return ok && ms >= 1 && ms <= kMaxTimeoutMs ? ms : fallback;
    };
    options.transfer.timeouts = LinkTimeouts::All(milliseconds(m_timeout, LinkTimeouts{}.replyMs));
    options.transfer.firstReplyMs = milliseconds(m_firstTimeout, 0);
    options.traceFile = m_traceFile->text().trimmed().toUtf8().toStdString();
    bool unitOk = false;
    const int unit = m_unit->currentText().trimmed().toInt(&unitOk);
    options.transfer.unit = static_cast<std::uint8_t>(unitOk && unit >= 0 && unit <= 255 ? unit : 0);
    options.backupDir = m_backupDir->text().trimmed().toUtf8().toStdString();
    options.tls.on = m_tls->isChecked();
    options.tls.cert = m_tlsCert->text().trimmed().toUtf8().toStdString();
    options.tls.key = m_tlsKey->text().trimmed().toUtf8().toStdString();
    options.tls.ca = m_tlsCa->text().trimmed().toUtf8().toStdString();
    options.tls.name = m_tlsName->text().trimmed().toUtf8().toStdString();
    return options;
}

void CWebOptionsDlg::SetTlsFileChooser(std::function<QString(QWidget*)> chooser) {
    if (chooser) {
        m_chooseTlsFile = std::move(chooser);
    }
}

void CWebOptionsDlg::BrowseTlsFile(QLineEdit* field) {
    const QString file = m_chooseTlsFile(this);
    if (!file.isEmpty()) {
        field->setText(QDir::toNativeSeparators(file));
    }
}

void CWebOptionsDlg::OnTlsToggled(bool on) {
    for (QWidget* control : m_tlsControls) {
        control->setEnabled(on);
    }
}

void CWebOptionsDlg::SetTraceChooser(std::function<QString(QWidget*)> chooser) {
    if (chooser) {
        m_chooseTrace = std::move(chooser);
    }
}

void CWebOptionsDlg::OnBrowseTrace() {
    const QString file = m_chooseTrace(this);
    if (!file.isEmpty()) {
        m_traceFile->setText(QDir::toNativeSeparators(file));
    }
}

void CWebOptionsDlg::OnBrowseBackup() {
    const QString folder = m_chooseFolder(this);
    if (!folder.isEmpty()) {
        m_backupDir->setText(QDir::toNativeSeparators(folder));
    }
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
        m_siteRoot->setText(QDir::toNativeSeparators(folder));
    }
}

}  // namespace kelvarin
