// CWebOptionsDlg: the options of a Send (content types, gzip, the site root,
// verify after send, all or nothing, and how the device is talked to:
// retries, requests in flight, bytes a request, a trace file; a backup
// folder; TLS and its files), opened from the window menu.
#pragma once

#include "settings.h"

#include <QDialog>
#include <QList>

#include <functional>

class QCheckBox;
class QLabel;
class QComboBox;
class QLineEdit;

namespace kelvarin {

class CWebOptionsDlg : public QDialog {
    Q_OBJECT

  public:
    // Shows options; Options() reads back what the operator chose.
    explicit CWebOptionsDlg(const SendOptions& options, QWidget* parent = nullptr);

    // The options as the controls show them.
    SendOptions Options() const;

    // Replaces the folder dialog the browse button shows; it returns the
    // chosen folder, or an empty text when cancelled.
    void SetFolderChooser(std::function<QString(QWidget* parent)> chooser);

    // Replaces the file dialog the trace's browse button shows; it returns
    // the chosen file, or an empty text when cancelled.
    void SetTraceChooser(std::function<QString(QWidget* parent)> chooser);

    // Replaces the file dialog the TLS files' browse buttons show; it
    // returns the chosen file, or an empty text when cancelled.
    void SetTlsFileChooser(std::function<QString(QWidget* parent)> chooser);

  private:
    void OnBrowseRoot();
    // Accepts the dialog unless the site root is set and is not a folder
    // that can be read; that is said under the field, in the CLI's words.
    void OnOk();
    void OnBrowseTrace();
    void OnBrowseBackup();
    // Fills field with a file the chooser gives.
    void BrowseTlsFile(QLineEdit* field);
    // The TLS files and name are editable only with TLS on.
    void OnTlsToggled(bool on);

    QCheckBox* m_contentTypes = nullptr;
    QCheckBox* m_gzip = nullptr;
    QLineEdit* m_siteRoot = nullptr;
    QLabel* m_siteRootError = nullptr;
    QCheckBox* m_verify = nullptr;
    QCheckBox* m_delta = nullptr;
    QCheckBox* m_allOrNothing = nullptr;
    QComboBox* m_retries = nullptr;
    QComboBox* m_window = nullptr;
    QComboBox* m_chunk = nullptr;
    QComboBox* m_timeout = nullptr;
    QComboBox* m_firstTimeout = nullptr;
    QLineEdit* m_traceFile = nullptr;
    QComboBox* m_unit = nullptr;
    QLineEdit* m_backupDir = nullptr;
    QCheckBox* m_tls = nullptr;
    QLineEdit* m_tlsCert = nullptr;
    QLineEdit* m_tlsKey = nullptr;
    QLineEdit* m_tlsCa = nullptr;
    QLineEdit* m_tlsName = nullptr;
    QList<QWidget*> m_tlsControls;  // what OnTlsToggled enables
    std::function<QString(QWidget*)> m_chooseFolder;
    std::function<QString(QWidget*)> m_chooseTrace;
    std::function<QString(QWidget*)> m_chooseTlsFile;
};

// The system's folder dialog, starting at start.
QString ChooseFolder(QWidget* parent, const QString& start = {});

}  // namespace kelvarin
