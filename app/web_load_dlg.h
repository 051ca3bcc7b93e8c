// CWebLoadDlg: the main window. File list, device address and port,
// Connect/Disconnect, Send, Exit, the log and the progress bar.
#pragma once

#include "catalog.h"
#include "dialog_units.h"
#include "file_list.h"
#include "packer.h"
#include "settings.h"
#include "socket_link.h"

#include <QDialog>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace kelvarin {

class CFileListAdapter;
class CFileListView;
class CIpAddressCtrl;
class CLogBox;
class CSendWorker;
class InputBlocker;

class CWebLoadDlg : public QDialog {
    Q_OBJECT

  public:
    // Builds the window and initialises it: the file list with its total
    // row, address and port from the settings, Send disabled, then the
    // command line args (args[0] is the program; address, port and files
    // apply only when there are more than two arguments). File arguments are
    // taken as the exact bytes of their paths.
    explicit CWebLoadDlg(std::vector<std::string> args, QWidget* parent = nullptr);
    ~CWebLoadDlg() override;
    CWebLoadDlg(const CWebLoadDlg&) = delete;
    CWebLoadDlg& operator=(const CWebLoadDlg&) = delete;

    // The files listed (the model behind the list view).
    const FileListModel& FileList() const { return m_files; }

    // Replaces the file-open dialog a double-click in the list shows. The
    // chooser returns the chosen path, or an empty text when cancelled.
    void SetFileChooser(std::function<QString(QWidget* parent)> chooser);

    // Replaces the folder dialog of "add a site folder"; it returns the
    // chosen folder, or an empty text when cancelled.
    void SetFolderChooser(std::function<QString(QWidget* parent)> chooser);

    // Replaces the prompt for an encrypted private key's passphrase (on
    // Connect with TLS); it returns the passphrase, or nothing when cancelled.
    void SetPassphraseAsker(
        std::function<std::optional<QString>(QWidget* parent, const QString& key)> asker);

    // The options the next Send packs and sends with.
    const SendOptions& Options() const { return m_options; }

    // True while a Send command runs (from the click on 发送 until its last
    // log line is shown); the window then takes no input but keeps painting,
    // and Escape, Exit or the close box ask the Send to stop.
    bool IsSending() const { return m_busy == Busy::kSending; }

    // True while a connect is under way; Escape, Exit or the close box
    // cancel it.
    bool IsConnecting() const { return m_busy == Busy::kConnecting; }

    // The base units the layout was made with.
    const DialogUnits& Units() const { return m_units; }

    // Ends the dialog with result; while a connect or a Send runs, asks it
    // to stop instead (a second time: the window closes once it has).
    void done(int result) override;

  signals:
    // Files dropped on the window or any of its controls, in the order the
    // drop gives them.
    void filesDropped(const std::vector<std::string>& paths);
    // Asks the worker to connect the link.
    void connectRequested(const QString& address, int port, const kelvarin::LinkTimeouts& timeouts,
                          const std::shared_ptr<kelvarin::tls::Context>& tls);
    // Asks the worker to run a Send's job over the connected link.
    void sendRequested(const kelvarin::JobPlan& plan);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void DoDataExchange();
    void WireEvents();
    bool OnInitDialog();
    void ApplySettings();
    void ApplyCommandLine();

    // Handlers, in the order of the event table (see WireEvents).
    void OnSysCommand(int id);
    void OnWebOptions();
    // 查找设备: scans for devices; the one picked fills the address and port.
    void OnFindDevices();
    void OnAddSiteFolder();
    void OnConnect();
    void OnSend();
    void OnListDblClk();
    void OnDropFiles(const std::vector<std::string>& paths);
    // Adds paths to the list in order (a path already listed is skipped);
    // the files past the 50th are named in one log line.
    void AddFiles(const std::vector<std::string>& paths);
    void OnListKeyDown(int key);
    void OnClearLog();
    // The connect ended; the window takes input again.
    void OnConnectFinished(bool connected, bool cancelled);
    // The Send worker finished; the window takes input again.
    void OnSendFinished(bool connectionLost);
    // Escape, Exit or the close box while a connect or Send runs: the first
    // asks it to stop, the next closes the window once it has.
    void RequestStop();
    // Blocks input (but for the stop keys) while the worker runs.
    void BeginWork();
    void EndWork();

    // The check-box sweep, run before every event that reaches the list.
    // Returns false: the event always goes on to the list.
    bool PreTranslateMessage(QEvent* event);
    void SweepUnchecked();
    // Takes a drag of files over, or a drop of files on, any control; true
    // when event was such a drag or drop.
    bool HandleFileDrop(QEvent* event);

    // The TLS context of the options (made on the first Connect after they
    // changed, asking for the key's passphrase when it is encrypted), or
    // nothing when a file cannot be used: the log says why.
    std::shared_ptr<tls::Context> TlsContext();

    void SetConnected(bool connected);
    void AppendLog(const QString& line);
    void SetProgressRange(int low, int high);

    CSocketLink m_link;
    FileListModel m_files;
    MessageCatalog m_catalog{LanguageFromEnvironment()};
    std::vector<std::string> m_args;
    DialogUnits m_units;

    // Controls, owned by the window as its children.
    QLineEdit* m_port = nullptr;
    CLogBox* m_log = nullptr;
    QProgressBar* m_progress = nullptr;
    CFileListView* m_list = nullptr;
    CIpAddressCtrl* m_address = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_connect = nullptr;
    QPushButton* m_exit = nullptr;
    QMenu* m_systemMenu = nullptr;
    std::unique_ptr<CFileListAdapter> m_adapter;

    // The Send worker and its thread, for the window's whole life.
    QThread m_sendThread;
    CSendWorker* m_sendWorker = nullptr;
    std::unique_ptr<InputBlocker> m_inputBlocker;

    std::function<QString(QWidget*)> m_chooseFile;
    std::function<QString(QWidget*)> m_chooseFolder;
    std::function<std::optional<QString>(QWidget*, const QString&)> m_askPassphrase;
    // Kept while the options stand, so that a Connect again resumes the
    // device's TLS session.
    std::shared_ptr<tls::Context> m_tlsContext;
    SendOptions m_options;
    // What the worker is doing; the window takes no other input meanwhile.
    enum class Busy { kIdle, kConnecting, kSending };
    Busy m_busy = Busy::kIdle;
    std::atomic<bool> m_stop{false};  // read by the worker
    bool m_stopAsked = false;
    bool m_closeWhenDone = false;
    FleetTarget m_target;  // the device connected to
    bool m_sweeping = false;
    bool m_sweepQueued = false;
    bool m_destroying = false;
};

}  // namespace kelvarin
