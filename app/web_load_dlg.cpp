// The main window: layout, event table, Connect/Disconnect, Send, the log,
// the file list handlers, settings and command line.
#include "web_load_dlg.h"

#include "about_dlg.h"
#include "dialog_builder.h"
#include "dump_file.h"
#include "files.h"
#include "job_run.h"
#include "file_list_view.h"
#include "find_devices_dlg.h"
#include "history_dlg.h"
#include "ip_address_ctrl.h"
#include "log_box.h"
#include "res/dialogs.h"
#include "res/resource.h"
#include "res/strings.h"
#include "send_worker.h"
#include "settings.h"
#include "site_folder.h"
#include "text_input.h"
#include "translate.h"
#include "web_options_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace kelvarin {

namespace {

const char* const kUriListFormat = "text/uri-list";

// The system's prompt for a passphrase, its characters not shown.
std::optional<QString> AskPassphrase(QWidget* parent, const QString& key) {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, Tr(res::kPassphraseTitle),
                                               Tr(res::kPassphrasePrompt).arg(key),
                                               QLineEdit::Password, QString(), &ok);
    if (!ok) {
        return std::nullopt;
    }
    return text;
}

QString DefaultFileChooser(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent);
}

// The path in UTF-8 (as the core's paths are) with this system's separators.
std::string NativePath(const std::string& path) {
    return QDir::toNativeSeparators(QString::fromStdString(path)).toStdString();
}

bool CarriesFiles(const QMimeData* data) {
    return data && data->hasFormat(QString::fromLatin1(kUriListFormat));
}

}  // namespace

// While it exists, swallows every input event of the application: keys,
// mouse, wheel, touch, context menus, drops and close requests. Paint,
// timer and posted events still flow, so the window keeps painting. The
// stop keys are the exception: Escape and a close request call onStop, and
// the mouse reaches the Exit button (whose click ends in done()).
class InputBlocker : public QObject {
  public:
    InputBlocker(QWidget* window, QWidget* exitButton, std::function<void()> onStop)
        : m_window(window), m_exit(exitButton), m_onStop(std::move(onStop)) {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Input reaches a top-level window's handle first and is then sent
        // on to the widget it is for: it is judged there.
        if (watched->isWindowType()) {
            return false;
        }
        const QEvent::Type type = event->type();
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
            !static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            m_onStop();
            return true;
        }
        if (type == QEvent::Close && watched == m_window) {
            event->ignore();
            m_onStop();
            return true;
        }
        if (watched == m_exit &&
            (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
             type == QEvent::MouseMove || type == QEvent::Enter || type == QEvent::Leave)) {
            return false;
        }
        switch (type) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
            case QEvent::TabletPress:
            case QEvent::TabletRelease:
            case QEvent::TabletMove:
            case QEvent::ContextMenu:
            case QEvent::DragEnter:
            case QEvent::DragMove:
            case QEvent::Drop:
            case QEvent::Close:
                event->ignore();
                return true;
            default:
                return false;
        }
    }

  private:
    QWidget* m_window;
    QWidget* m_exit;
    std::function<void()> m_onStop;
};

CWebLoadDlg::CWebLoadDlg(std::vector<std::string> args, QWidget* parent)
    : QDialog(parent),
      m_args(std::move(args)),
      m_units(DialogFont()),
      m_chooseFile(DefaultFileChooser),
      m_chooseFolder([](QWidget* owner) { return ChooseFolder(owner); }),
      m_askPassphrase(AskPassphrase) {
    setObjectName(QStringLiteral("webLoadDialog"));
    // An application window with a title and close box, no minimise or
    // maximise box, fixed in size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    qRegisterMetaType<JobPlan>();
    qRegisterMetaType<LinkTimeouts>();
    qRegisterMetaType<std::shared_ptr<tls::Context>>();
    m_sendWorker = new CSendWorker(m_link, m_stop);
    m_sendWorker->moveToThread(&m_sendThread);
    m_sendThread.setObjectName(QStringLiteral("send"));
    m_sendThread.start();
    DoDataExchange();
    OnInitDialog();
    WireEvents();
}

CWebLoadDlg::~CWebLoadDlg() {
    // Controls being destroyed still send events to the filter; it must not
    // look at them any more.
    m_destroying = true;
    // A connect or Send still running ends first (asked to stop); the link
    // it uses is a member.
    m_stop = true;
    m_sendThread.quit();
    m_sendThread.wait();
    delete m_sendWorker;
    // The view goes first: the adapter and the model it shows are members,
    // destroyed before the window's children would be.
    if (m_list) {
        m_list->viewport()->removeEventFilter(this);
        m_list->removeEventFilter(this);
        m_list->SetAdapter(nullptr);
        delete m_list;
        m_list = nullptr;
    }
    m_adapter.reset();
}

void CWebLoadDlg::SetFileChooser(std::function<QString(QWidget*)> chooser) {
    m_chooseFile = chooser ? std::move(chooser) : DefaultFileChooser;
}

void CWebLoadDlg::SetFolderChooser(std::function<QString(QWidget*)> chooser) {
    if (chooser) {
        m_chooseFolder = std::move(chooser);
    }
}

void CWebLoadDlg::SetPassphraseAsker(
    std::function<std::optional<QString>(QWidget*, const QString&)> asker) {
    if (asker) {
        m_askPassphrase = std::move(asker);
    }
}

// Creates the controls from the layout table and binds them by identifier.
void CWebLoadDlg::DoDataExchange() {
    const DialogControls controls = BuildDialog(*this, res::kMainDialog, res::kMainDialogItems);
    m_port = controls.Get<QLineEdit>(res::kIdcPort);
    m_log = controls.Get<CLogBox>(res::kIdcLog);
    m_progress = controls.Get<QProgressBar>(res::kIdcProgress);
    m_list = controls.Get<CFileListView>(res::kIdcFileList);
    m_address = controls.Get<CIpAddressCtrl>(res::kIdcIpAddress);
    m_send = controls.Get<QPushButton>(res::kIdcSend);
    m_connect = controls.Get<QPushButton>(res::kIdcConnect);
    m_exit = controls.Get<QPushButton>(res::kIdCancel);

    // Names the tests and accessibility tools find the controls by.
    m_port->setObjectName(QStringLiteral("port"));
    m_log->setObjectName(QStringLiteral("log"));
    m_progress->setObjectName(QStringLiteral("progress"));
    m_list->setObjectName(QStringLiteral("fileList"));
    m_address->setObjectName(QStringLiteral("address"));
    m_send->setObjectName(QStringLiteral("send"));
    m_connect->setObjectName(QStringLiteral("connect"));
    m_exit->setObjectName(QStringLiteral("exit"));
}

// The event table: every message and control notification the window
// handles, bound in one place, in this order.
//
//   event                         handler
//   window-menu command           OnSysCommand
//   paint                         (default painting)
//   query of the drag icon        (the desktop draws it)
//   button 1002 clicked           OnConnect
//   button 1009 clicked           OnSend
//   double-click in list 1000     OnListDblClk
//   files dropped                 OnDropFiles
//   key down in list 1000         OnListKeyDown
//   window destroyed              (default handling)
//   double-click in log 1007      OnClearLog
//
// Before any of them, every event addressed to the list runs the check-box
// sweep (PreTranslateMessage, through eventFilter).
void CWebLoadDlg::WireEvents() {
    const QList<QAction*> menuActions = m_systemMenu ? m_systemMenu->actions() : QList<QAction*>();
    for (QAction* action : menuActions) {
        const int id = action->data().toInt();
        if (id != 0) {
            connect(action, &QAction::triggered, this, [this, id] { OnSysCommand(id); });
        }
    }
    connect(m_connect, &QPushButton::clicked, this, &CWebLoadDlg::OnConnect);
    connect(m_send, &QPushButton::clicked, this, &CWebLoadDlg::OnSend);
    connect(m_list, &CFileListView::listDblClk, this, &CWebLoadDlg::OnListDblClk);
    connect(this, &CWebLoadDlg::filesDropped, this, &CWebLoadDlg::OnDropFiles);
    connect(m_list, &CFileListView::listKeyDown, this, &CWebLoadDlg::OnListKeyDown);
    connect(m_log, &CLogBox::logDblClk, this, &CWebLoadDlg::OnClearLog);

    // The worker: the requests go to its thread, everything it reports
    // comes back queued to this one.
    connect(this, &CWebLoadDlg::connectRequested, m_sendWorker, &CSendWorker::Connect);
    connect(this, &CWebLoadDlg::sendRequested, m_sendWorker, &CSendWorker::Send);
    connect(m_sendWorker, &CSendWorker::connectFinished, this, &CWebLoadDlg::OnConnectFinished);
    connect(m_sendWorker, &CSendWorker::logLine, this, &CWebLoadDlg::AppendLog);
    connect(m_sendWorker, &CSendWorker::progressRange, this, &CWebLoadDlg::SetProgressRange);
    connect(m_sendWorker, &CSendWorker::progressPosition, m_progress, &QProgressBar::setValue);
    connect(m_sendWorker, &CSendWorker::finished, this, &CWebLoadDlg::OnSendFinished);

    // Every control passes dropped files on to the list (HandleFileDrop);
    // the list's events also run the check-box sweep first.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }

    // The framework's cancel handling: Exit ends the dialog.
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);
}

bool CWebLoadDlg::OnInitDialog() {
    setAcceptDrops(true);

    // The window menu: X11 and Wayland give no access to the title bar's
    // menu, so the window's background carries it as a context menu.
    const QString aboutText = Tr(res::kAboutCommand);
    if (!aboutText.isEmpty()) {
        m_systemMenu = new QMenu(this);
        m_systemMenu->setObjectName(QStringLiteral("systemMenu"));
        m_systemMenu->setSeparatorsCollapsible(false);
        m_systemMenu->addSeparator();
        QAction* about = m_systemMenu->addAction(aboutText);
        about->setObjectName(QStringLiteral("aboutAction"));
        about->setData(res::kIdmAboutBox);
        // Beside the about box: the web options and adding a site folder.
        QAction* addSite = m_systemMenu->addAction(Tr(res::kAddSiteFolderCommand));
        addSite->setObjectName(QStringLiteral("addSiteFolderAction"));
        addSite->setData(res::kIdmAddSiteFolder);
        QAction* options = m_systemMenu->addAction(Tr(res::kWebOptionsCommand));
        options->setObjectName(QStringLiteral("webOptionsAction"));
        options->setData(res::kIdmWebOptions);
        QAction* history = m_systemMenu->addAction(Tr(res::kHistoryCommand));
        history->setObjectName(QStringLiteral("historyAction"));
        history->setData(res::kIdmHistory);
        QAction* find = m_systemMenu->addAction(Tr(res::kFindCommand));
        find->setObjectName(QStringLiteral("findDevicesAction"));
        find->setData(res::kIdmFindDevices);
    }

    setWindowIcon(WindowIcon());

    // The list starts with its total row (the model makes it).
    m_adapter = std::make_unique<CFileListAdapter>(m_files);
    m_list->SetAdapter(m_adapter.get());

    ApplySettings();
    m_send->setEnabled(false);
    ApplyCommandLine();

    // The first tab stop takes the focus when the window is shown.
    m_address->setFocus(Qt::OtherFocusReason);
    return true;
}

void CWebLoadDlg::ApplySettings() {
    const ConnectionSettings settings = LoadSettings();
    m_address->SetText(settings.address);
    m_port->setText(settings.port);
    m_options = LoadSendOptions();
}

void CWebLoadDlg::ApplyCommandLine() {
    // Program, address and port at least; one argument alone is ignored.
    if (m_args.size() <= 2) {
        return;
    }
    m_address->SetText(QString::fromStdString(m_args[1]));
    m_port->setText(QString::fromStdString(m_args[2]));
    AddFiles({m_args.begin() + 3, m_args.end()});
}

void CWebLoadDlg::OnSysCommand(int id) {
    switch (id & res::kSysCommandMask) {
        case res::kIdmAboutBox: {
            CAboutDlg about(this);
            about.exec();
            break;
        }
        case res::kIdmWebOptions:
            OnWebOptions();
            break;
        case res::kIdmAddSiteFolder:
            OnAddSiteFolder();
            break;
        case res::kIdmHistory: {
            CHistoryDlg history(std::string(), this);
            history.exec();
            break;
        }
        case res::kIdmFindDevices:
            OnFindDevices();
            break;
        default:
            break;
    }
}

void CWebLoadDlg::OnFindDevices() {
    if (m_busy != Busy::kIdle) {
        return;
    }
    JobPlan plan;
    plan.kind = JobKind::kScan;
    plan.source.files = m_files.FilePaths();
    plan.source.pack = m_options.pack;
    plan.transfer = m_options.transfer;
    plan.journal.program = "kelvarin";
    bool ok = false;
    const int port = m_port->text().toInt(&ok);
    plan.port = ok && port >= 1 && port <= 65535 ? port : 502;
    CFindDevicesDlg find(plan, this);
    if (find.exec() == QDialog::Accepted && find.Picked() && !m_link.IsConnected()) {
        // The device picked, as if typed: address and port.
        m_address->SetText(QString::fromStdString(find.Picked()->address));
        m_port->setText(QString::number(find.Picked()->port));
    }
}

void CWebLoadDlg::OnWebOptions() {
    CWebOptionsDlg dialog(m_options, this);
    if (dialog.exec() == QDialog::Accepted) {
        m_options = dialog.Options();
        SaveSendOptions(m_options);
        m_tlsContext.reset();  // the next Connect uses the files as they are now
    }
}

void CWebLoadDlg::OnAddSiteFolder() {
    const QString folder = m_chooseFolder(this);
    if (folder.isEmpty()) {
        return;
    }
    // The folder becomes the site root, so its files keep their paths.
    const std::string root = NativePath(folder.toStdString());
    const std::optional<SiteListing> listing = SiteFiles(root);
    if (!listing) {
        AppendLog(QString::fromStdString(m_catalog.Text(MessageId::kNotAFolder, {root})));
        return;
    }
    for (const SkippedEntry& skipped : listing->skipped) {
        AppendLog(QString::fromStdString(m_catalog.SiteSkippedLine(skipped)));
    }
    AddFiles(listing->files);
    m_options.pack.siteRoot = root;
    SaveSendOptions(m_options);
}

void CWebLoadDlg::OnConnect() {
    if (m_busy != Busy::kIdle) {
        return;
    }
    if (m_connect->text() == Tr(res::kConnectText)) {
        const QString host = m_address->Text();
        const QString portText = m_port->text();
        // The settings are written before connecting, whatever follows.
        SaveSettings({host, portText});
        const int port = ParsePortText(portText.toStdString());

        // A port outside 1..65535 would wrap to another port: refuse it
        // without trying. The link refuses an address that names no device.
        if (!IsPortInRange(port)) {
            AppendLog(QString::fromStdString(m_catalog.ConnectFailed(host.toStdString(), port)));
            return;
        }
        m_target = {host.toStdString(), port};
        std::shared_ptr<tls::Context> tls;
        if (m_options.tls.on && !(tls = TlsContext())) {
            return;  // a file that cannot be used, or no passphrase: the log says which
        }
        // The connect runs on the worker's thread: the window keeps
        // painting, shows that it is connecting, and Escape cancels.
        m_busy = Busy::kConnecting;
        BeginWork();
        m_connect->setText(Tr(res::kConnectingText));
        m_address->setEnabled(false);
        m_port->setEnabled(false);
        emit connectRequested(host, port, m_options.transfer.timeouts, tls);
    } else {
        SetConnected(false);
        m_link.Close();
        AppendLog(QString::fromStdString(m_catalog.Disconnected()));
    }
}

std::shared_ptr<tls::Context> CWebLoadDlg::TlsContext() {
    if (m_tlsContext) {
        return m_tlsContext;
    }
    TlsPlan plan = m_options.tls;
    if (tls::KeyIsEncrypted(plan.key)) {
        const std::optional<QString> passphrase =
            m_askPassphrase(this, QString::fromUtf8(plan.key.c_str()));
        if (!passphrase) {
            AppendLog(QString::fromStdString(m_catalog.Text(
                MessageId::kTlsPassphraseCancelled,
                {m_target.address, std::to_string(m_target.port), plan.key})));
            return nullptr;
        }
        plan.keyPassword = passphrase->toUtf8().toStdString();
    }
    PlanProblem problem;
    m_tlsContext = TlsContextFor(plan, &problem);
    if (!m_tlsContext) {
        for (const std::string& line : m_catalog.RefusalLines(problem, WindowFieldNames(m_catalog))) {
            AppendLog(QString::fromStdString(line));
        }
        return nullptr;
    }
    // Used all the same, but said, as the command line says it.
    if (IsReadableByOthers(plan.key)) {
        AppendLog(QString::fromStdString(m_catalog.Text(MessageId::kTlsKeyReadable, {plan.key})));
    }
    if (plan.name == "any") {
        AppendLog(QString::fromStdString(m_catalog.Text(MessageId::kTlsAnyName)));
    }
    return m_tlsContext;
}

void CWebLoadDlg::OnConnectFinished(bool connected, bool cancelled) {
    EndWork();
    SetConnected(connected);
    const std::string& host = m_target.address;
    const int port = m_target.port;
    if (cancelled && !connected) {
        AppendLog(QString::fromStdString(
            m_catalog.Text(MessageId::kConnectCancelled, {host, std::to_string(port)})));
    } else {
        // Over TLS the line says the version and the device's certificate,
        // or why the handshake failed.
        const ConnectionFacts connection = m_link.Facts();
        TargetResult facts;
        facts.tlsVersion = connection.tlsVersion;
        facts.tlsSubject = connection.tlsSubject;
        facts.tlsFailure = connection.tlsFailure;
        facts.tlsDetail = connection.tlsDetail;
        AppendLog(QString::fromStdString(m_catalog.ConnectLine(m_target, connected, facts)));
    }
    if (m_closeWhenDone) {
        QDialog::done(QDialog::Rejected);
    }
}

void CWebLoadDlg::OnSend() {
    if (m_busy != Busy::kIdle || !m_link.IsConnected()) {
        return;
    }
    // The worker gets its own copy of what to send; until it finishes, every
    // input event but the stop keys is swallowed, so neither the list nor
    // the link changes, while paint events and the worker's queued signals
    // keep flowing.
    JobPlan plan;
    plan.kind = JobKind::kSend;
    plan.source.files = m_files.FilePaths();
    plan.source.listedBytes = m_files.ListedBytes();
    plan.source.pack = m_options.pack;
    plan.source.allOrNothing = m_options.allOrNothing;
    plan.targets = {{m_target.address, m_target.port, m_options.transfer.unit}};
    plan.outputs.dump = DefaultDumpTarget();
    plan.outputs.trace = m_options.traceFile;
    plan.outputs.traceOptional = true;  // said in the log, and the Send goes on without it
    plan.outputs.backupDir = m_options.backupDir;
    plan.journal.program = "kelvarin";
    plan.transfer = m_options.transfer;
    plan.verify = m_options.verifyAfterSend;
    plan.delta = m_options.delta;
    plan.tls = m_options.tls;  // its files are inputs no output may overwrite
    m_busy = Busy::kSending;
    BeginWork();
    emit sendRequested(plan);
}

void CWebLoadDlg::OnSendFinished(bool connectionLost) {
    EndWork();
    // Whatever broke the connection (the download, the read-back, retries
    // that gave up), the window is Disconnected over a closed link.
    if (connectionLost) {
        const bool onSend = QApplication::focusWidget() == m_send || !QApplication::focusWidget();
        m_link.Close();
        SetConnected(false);
        // 发送 is disabled now: the keyboard goes to 连接, the next step.
        if (onSend) {
            m_connect->setFocus(Qt::OtherFocusReason);
        }
    }
    if (m_closeWhenDone) {
        QDialog::done(QDialog::Rejected);
    }
}

void CWebLoadDlg::BeginWork() {
    m_stop = false;
    m_stopAsked = false;
    m_closeWhenDone = false;
    m_inputBlocker = std::make_unique<InputBlocker>(this, m_exit, [this] { RequestStop(); });
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CWebLoadDlg::EndWork() {
    QApplication::restoreOverrideCursor();
    m_inputBlocker.reset();
    m_busy = Busy::kIdle;
}

void CWebLoadDlg::RequestStop() {
    if (m_busy == Busy::kIdle) {
        return;
    }
    if (m_stopAsked) {
        m_closeWhenDone = true;  // asked again: close once the work has ended
        return;
    }
    m_stopAsked = true;
    m_stop = true;
    if (m_busy == Busy::kSending) {
        AppendLog(QString::fromStdString(m_catalog.Text(MessageId::kStopping)));
    }
}

void CWebLoadDlg::OnListDblClk() {
    const QString path = m_chooseFile(this);
    if (!path.isEmpty()) {
        AddFiles({path.toStdString()});  // UTF-8, as the core's paths are
    }
}

void CWebLoadDlg::OnDropFiles(const std::vector<std::string>& paths) {
    const auto end = std::find(paths.begin(), paths.end(), std::string());
    AddFiles({paths.begin(), end});
}

void CWebLoadDlg::AddFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> leftOut;
    for (const std::string& given : paths) {
        // Kept as the system writes paths (backslashes on Windows, where
        // choosers and drops give slashes), so one file is one row whichever
        // way it was added.
        const std::string path = NativePath(given);
        if (!m_files.FindFile(path) && !m_files.AddFile(path)) {
            leftOut.push_back(path);
        }
    }
    if (!leftOut.empty()) {
        AppendLog(QString::fromStdString(m_catalog.PastLimitLine(leftOut, kMaxFiles)));
    }
}

void CWebLoadDlg::OnListKeyDown(int key) {
    if (key == Qt::Key_Delete) {
        m_files.OnDeleteKey();
    }
}

void CWebLoadDlg::OnClearLog() {
    while (m_log->count() > 0) {
        delete m_log->takeItem(0);
    }
}

bool CWebLoadDlg::PreTranslateMessage(QEvent* event) {
    // Never while a Send command reads the list, nor from inside a sweep.
    if (IsSending() || m_sweeping) {
        return false;
    }
    if (event->type() == QEvent::Paint) {
        // Rows are not removed in the middle of painting; the sweep runs
        // right after this paint instead.
        if (!m_sweepQueued && m_files.FileCount() > 0) {
            m_sweepQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_sweepQueued = false;
                    if (!IsSending()) {
                        SweepUnchecked();
                    }
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    SweepUnchecked();
    return false;
}

void CWebLoadDlg::SweepUnchecked() {
    m_sweeping = true;
    m_files.SweepUnchecked();
    m_sweeping = false;
}

bool CWebLoadDlg::HandleFileDrop(QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!CarriesFiles(drag->mimeData())) {
                return false;
            }
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!CarriesFiles(drop->mimeData())) {
                return false;
            }
            const QByteArray uriList = drop->mimeData()->data(QString::fromLatin1(kUriListFormat));
            drop->acceptProposedAction();
            emit filesDropped(LocalPathsFromUriList(
                std::string_view(uriList.constData(), static_cast<std::size_t>(uriList.size()))));
            return true;
        }
        default:
            return false;
    }
}

bool CWebLoadDlg::eventFilter(QObject* watched, QEvent* event) {
    if (m_destroying) {
        return false;
    }
    if (m_list && (watched == m_list || watched == m_list->viewport())) {
        PreTranslateMessage(event);
    }
    if (watched->isWidgetType() && HandleFileDrop(event)) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CWebLoadDlg::SetConnected(bool connected) {
    m_connect->setText(Tr(connected ? res::kDisconnectText : res::kConnectText));
    m_address->setEnabled(!connected);
    m_port->setEnabled(!connected);
    m_send->setEnabled(connected);
}

void CWebLoadDlg::AppendLog(const QString& line) {
    m_log->AppendLine(line);
}

void CWebLoadDlg::SetProgressRange(int low, int high) {
    // An empty range would make the bar an endless busy indicator; an empty
    // image shows an empty bar instead.
    m_progress->setRange(low, high > low ? high : low + 1);
    m_progress->setValue(low);
}

void CWebLoadDlg::done(int result) {
    if (m_busy != Busy::kIdle) {
        RequestStop();
        return;
    }
    QDialog::done(result);
}

void CWebLoadDlg::closeEvent(QCloseEvent* event) {
    if (m_busy != Busy::kIdle) {
        event->ignore();
        RequestStop();
        return;
    }
    QDialog::closeEvent(event);
}

void CWebLoadDlg::keyPressEvent(QKeyEvent* event) {
    // Enter never ends the window. A focused push button has already taken
    // it as a click; anywhere else it does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CWebLoadDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Only the window's own background carries the window menu; labels
    // and group boxes are part of the background.
    if (!m_systemMenu || childAt(event->pos()) != nullptr) {
        event->ignore();
        return;
    }
    m_systemMenu->exec(event->globalPos());
}

void CWebLoadDlg::dragEnterEvent(QDragEnterEvent* event) {
    HandleFileDrop(event);
}

void CWebLoadDlg::dragMoveEvent(QDragMoveEvent* event) {
    HandleFileDrop(event);
}

void CWebLoadDlg::dropEvent(QDropEvent* event) {
    HandleFileDrop(event);
}

}  // namespace kelvarin
