// The main window driven as an operator drives it, under Qt's offscreen
// platform, against kelvarin-device on loopback.
#include "file_list_view.h"
#include "find_devices_dlg.h"
#include "history_dlg.h"
#include "job_run.h"
#include "journal.h"
#include "ip_address_ctrl.h"
#include "log_box.h"
#include "loopback_client.h"
#include "translate.h"
#include "web_load_dlg.h"
#include "window_test_support.h"
#include "child_process.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRawFont>
#include <QTest>
#include <QTableWidget>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kelvarin {
namespace {

using test::Device;
using test::Find;
using test::ReadAll;
using test::Shown;
using test::TempDir;
using test::WaitFor;
using test::XdgFolders;

const std::string kProgram = "kelvarin";

// One main window and quick access to its controls.
class Window {
  public:
    explicit Window(std::vector<std::string> args = {kProgram}) : m_dlg(std::move(args)) {}

    CWebLoadDlg& Dlg() { return m_dlg; }
    CIpAddressCtrl* Address() { return Find<CIpAddressCtrl>(m_dlg, "address"); }
    QLineEdit* Port() { return Find<QLineEdit>(m_dlg, "port"); }
    QPushButton* Connect() { return Find<QPushButton>(m_dlg, "connect"); }
    QPushButton* Send() { return Find<QPushButton>(m_dlg, "send"); }
    QPushButton* Exit() { return Find<QPushButton>(m_dlg, "exit"); }
    CLogBox* Log() { return Find<CLogBox>(m_dlg, "log"); }
    QProgressBar* Progress() { return Find<QProgressBar>(m_dlg, "progress"); }
    CFileListView* List() { return Find<CFileListView>(m_dlg, "fileList"); }
    const FileListModel& Files() const { return m_dlg.FileList(); }

    // Puts address and port into the fields as typed text.
    void SetTarget(const QString& address, const QString& port) {
        Address()->SetText(address);
        Port()->setText(port);
    }

    bool Connected() { return Connect()->text() == QStringLiteral("断开"); }

    // What the list shows in a cell.
    QString Cell(int row, int column) const { return CellText(Files(), row, column); }

    // Clicks Connect (or Disconnect) and waits until a connect it starts
    // has ended, as an operator waits for the button to change.
    void ClickConnect() {
        Connect()->click();
        WaitFor([this] { return !m_dlg.IsConnecting(); }, 10000);
    }

    // Waits until a Send command started by a click or key has ended.
    bool WaitForSendEnd(int timeoutMs = 10000) {
        return WaitFor([this] { return !m_dlg.IsSending(); }, timeoutMs);
    }

    // True when the controls show the state Disconnected or Connected.
    void ExpectState(bool connected) {
        EXPECT_EQ(Connect()->text(), connected ? QStringLiteral("断开") : QStringLiteral("连接"));
        EXPECT_EQ(Address()->isEnabled(), !connected);
        EXPECT_EQ(Port()->isEnabled(), !connected);
        EXPECT_EQ(Send()->isEnabled(), connected);
    }

    // Shows the window and waits until it has the keyboard.
    bool ShowActive() {
        m_dlg.show();
        m_dlg.activateWindow();
        return QTest::qWaitForWindowActive(&m_dlg);
    }

  private:
    CWebLoadDlg m_dlg;
};

// Drags paths onto the window and drops them there, as a file manager does:
// the drag enters, then drops.
void DropFiles(QWidget& target, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) {
        urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    data.setUrls(urls);
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
}

QString Line(const char* text) {
    return QString::fromUtf8(text);
}

QString HostPort(int port, const char* outcome) {
    return QStringLiteral("127.0.0.1:%1 ").arg(port) + QString::fromUtf8(outcome);
}

TEST(Window, ConnectDisconnectAndAFailedConnect) {
    XdgFolders xdg;
    Device device;
    ASSERT_GT(device.Port(), 0);
    Window window({kProgram, "127.0.0.1", device.PortText()});
    window.ExpectState(false);

    window.ClickConnect();
    window.ExpectState(true);
    window.ClickConnect();
    window.ExpectState(false);
    window.ClickConnect();  // a fresh socket each time
    window.ExpectState(true);
    window.ClickConnect();

    const int closed = test::UnusedPort();
    window.Port()->setText(QString::number(closed));
    window.ClickConnect();
    window.ExpectState(false);

    EXPECT_EQ(window.Log()->Lines(),
              QStringList({HostPort(device.Port(), "连接成功"), Line("断开连接"),
                           HostPort(device.Port(), "连接成功"), Line("断开连接"),
                           HostPort(closed, "连接失败")}));
}

TEST(Window, PortTextsAreReadLikeStrtolAndRangeChecked) {
    XdgFolders xdg;
    Device device;
    ASSERT_GT(device.Port(), 0);
    Window window;
    window.Address()->SetText(QStringLiteral("127.0.0.1"));

    // Trailing letters and a leading blank are ignored.
    for (const std::string& text : {device.PortText() + "abc", " " + device.PortText()}) {
        window.Port()->setText(QString::fromStdString(text));
        window.ClickConnect();
        EXPECT_TRUE(window.Connected()) << text;
        EXPECT_EQ(window.Log()->Lines().last(), HostPort(device.Port(), "连接成功"));
        window.ClickConnect();
    }

    // Empty is port 0; a number past 65535 is not wrapped to another port.
    window.Port()->setText(QString());
    window.ClickConnect();
    EXPECT_EQ(window.Log()->Lines().last(), HostPort(0, "连接失败"));
    window.ExpectState(false);

    window.Port()->setText(QStringLiteral("70000"));
    window.ClickConnect();
    EXPECT_EQ(window.Log()->Lines().last(), HostPort(70000, "连接失败"));
    window.ExpectState(false);
    // The text is stored as typed, even when it cannot be used.
    EXPECT_NE(ReadAll(xdg.SettingsPath()).find("PortNum=70000"), std::string::npos);
}

TEST(Window, KeyboardConnectAndSendLoadsTheImageIntoTheDevice) {
    XdgFolders xdg;
    TempDir dir;
    const std::string stored = dir.Path() + "/device.bin";
    Device device({"--image-out", stored});
    ASSERT_GT(device.Port(), 0);
    const std::string page = dir.WriteSized("index.htm", 700, 1);
    const std::string picture = dir.WriteSized("logo.png", 333, 2);
    Window window({kProgram, "127.0.0.1", device.PortText(), page, picture});
    ASSERT_EQ(window.Files().FileCount(), 2);
    ASSERT_TRUE(window.ShowActive());

    // Address, port, Connect: Tab Tab Space. Then Send: Tab Space.
    EXPECT_EQ(QApplication::focusWidget(), window.Address()->Field(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window.Port());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(WaitFor([&] { return window.Connected(); }));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window.Send());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(window.WaitForSendEnd());

    EXPECT_EQ(window.Log()->Lines(),
              QStringList({HostPort(device.Port(), "连接成功"), Line("正在打包"), Line("打包完成"),
                           Line("开始发送"), Line("发送结束!!!!!")}));
    const std::string dump = ReadAll(xdg.DumpPath());
    ASSERT_GT(dump.size(), 1033u);  // two records with headers and contents
    EXPECT_EQ(window.Progress()->maximum(), static_cast<int>(dump.size()));
    EXPECT_EQ(window.Progress()->value(), static_cast<int>(dump.size()));
    window.ExpectState(true);

    // The device saves its memory when the writing client goes away.
    window.ClickConnect();
    EXPECT_EQ(device.ReadLine(), "image " + stored);
    EXPECT_EQ(ReadAll(stored).substr(0, dump.size()), dump);
}

TEST(Window, SendPaintsLiveAndTakesNoInput) {
    XdgFolders xdg;
    TempDir dir;
    Device device({"--fault", "delay=40"});
    ASSERT_GT(device.Port(), 0);
    const std::string page = dir.WriteSized("page.htm", 900);  // 8 chunks, 40 ms each
    const std::string extra = dir.WriteSized("extra.htm", 10);
    Window window({kProgram, "127.0.0.1", device.PortText(), page});
    ASSERT_TRUE(window.ShowActive());
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());

    // While the download runs: watch the bar and the log, and try to
    // disconnect, to type and to drop a file (Escape and closing ask for a
    // stop: see the stop tests).
    std::vector<int> positions;
    int linesSeen = 0;
    bool triedInput = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!window.Dlg().IsSending()) {
            return;
        }
        positions.push_back(window.Progress()->value());
        linesSeen = std::max(linesSeen, window.Log()->count());
        if (!triedInput && window.Progress()->value() > 0) {
            triedInput = true;
            QTest::keyClick(window.Port(), Qt::Key_1);
            QTest::mouseClick(window.Connect(), Qt::LeftButton);
            DropFiles(window.Dlg(), {extra});
        }
    });
    watcher.start(15);
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    watcher.stop();

    EXPECT_TRUE(triedInput);
    EXPECT_TRUE(window.Dlg().isVisible());
    window.ExpectState(true);
    EXPECT_EQ(window.Files().FileCount(), 1);
    EXPECT_EQ(window.Log()->Lines().last(), Line("发送结束!!!!!"));
    // The bar moved while the command ran, not only at its end.
    const int end = window.Progress()->maximum();
    EXPECT_TRUE(
        std::any_of(positions.begin(), positions.end(), [end](int p) { return p > 0 && p < end; }));
    EXPECT_GE(linesSeen, 4);  // connected, packing lines, start of sending

    // Input is taken again afterwards.
    QTest::mouseClick(window.Connect(), Qt::LeftButton);
    window.ExpectState(false);
}

TEST(Window, LostConnectionReturnsToDisconnected) {
    XdgFolders xdg;
    TempDir dir;
    Device device({"--fault", "close-after=2"});
    ASSERT_GT(device.Port(), 0);
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("a.htm", 600)});
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());

    const QStringList lines = window.Log()->Lines();
    EXPECT_TRUE(lines.contains(Line("发送到256, 256, 10连接中断")))
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), Line("发送结束!!!!!"));
    window.ExpectState(false);

    // The link was closed: the next Connect opens a fresh one.
    window.ClickConnect();
    EXPECT_TRUE(window.Connected());
}

TEST(Window, EscapeStopsASendAndASecondEscapeCloses) {
    XdgFolders xdg;
    TempDir dir;
    Device device({"--fault", "silent"});
    ASSERT_GT(device.Port(), 0);
    // 24 chunks, each waiting out its 200 ms: about 5 s if nothing stops it.
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("index.htm", 3000)});
    ASSERT_TRUE(window.ShowActive());
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());
    window.Send()->click();
    ASSERT_TRUE(WaitFor([&] { return window.Log()->Lines().size() >= 5; }));  // one chunk failed
    QElapsedTimer stopping;
    stopping.start();
    QTest::keyClick(&window.Dlg(), Qt::Key_Escape);
    ASSERT_TRUE(window.WaitForSendEnd());
    // Nothing more is sent; the one request out waits out its time-out.
    EXPECT_LT(stopping.elapsed(), 1000 + 200);
    const QStringList lines = window.Log()->Lines();
    EXPECT_TRUE(lines.contains(Line("正在停止：不再发送，等待已发出请求的应答")))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.last().startsWith(Line("发送已中断：设备只收到了映像")))
        << lines.join('\n').toStdString();
    EXPECT_TRUE(window.Dlg().isVisible());
    window.ExpectState(true);  // the link stays: nothing broke it

    // Idle again: Escape closes, as ever.
    QTest::keyClick(&window.Dlg(), Qt::Key_Escape);
    EXPECT_FALSE(window.Dlg().isVisible());
}

TEST(Window, ExitAndTheCloseBoxAskForAStopThenClose) {
    XdgFolders xdg;
    TempDir dir;
    Device device({"--fault", "silent"});
    ASSERT_GT(device.Port(), 0);
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("index.htm", 3000)});
    ASSERT_TRUE(window.ShowActive());
    window.ClickConnect();
    window.Send()->click();
    ASSERT_TRUE(WaitFor([&] { return window.Log()->Lines().size() >= 5; }));
    QTest::mouseClick(window.Exit(), Qt::LeftButton);  // asks to stop
    EXPECT_TRUE(window.Dlg().isVisible());
    EXPECT_EQ(window.Log()->Lines().last(), Line("正在停止：不再发送，等待已发出请求的应答"));
    window.Dlg().close();  // asked again: the window closes once the stop is done
    EXPECT_TRUE(WaitFor([&] { return !window.Dlg().isVisible(); }, 2000));
    EXPECT_FALSE(window.Dlg().IsSending());
}

#ifndef _WIN32
TEST(Window, ConnectPaintsShowsItAndEscapeCancelsIt) {
    XdgFolders xdg;
    // A listener that never accepts, its backlog full: new handshakes go
    // unanswered, as a device that is not there.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const int port = ntohs(address.sin_port);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    SendOptions options;
    options.transfer.timeouts = LinkTimeouts::All(5000);
    ASSERT_TRUE(SaveSendOptions(options));
    Window window({kProgram, "127.0.0.1", std::to_string(port)});
    ASSERT_TRUE(window.ShowActive());
    int ticks = 0;
    QTimer ticker;  // the window's own thread goes on meanwhile
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    window.Connect()->click();
    EXPECT_TRUE(window.Dlg().IsConnecting());
    EXPECT_EQ(window.Connect()->text(), QStringLiteral("正在连接..."));
    QTest::qWait(300);
    EXPECT_GE(ticks, 5);
    QElapsedTimer cancelling;
    cancelling.start();
    QTest::keyClick(&window.Dlg(), Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !window.Dlg().IsConnecting(); }, 5000));
    EXPECT_LT(cancelling.elapsed(), 300);
    EXPECT_TRUE(window.Dlg().isVisible());
    window.ExpectState(false);
    EXPECT_EQ(window.Log()->Lines(), QStringList({HostPort(port, "连接已取消")}));
    for (const int filler : fillers) {
        ::close(filler);
    }
    ::close(listener);
}
#endif

#ifndef _WIN32
TEST(Window, TheSecurityOptionsConnectOverTlsAndSayWhyADeviceIsRefused) {
    XdgFolders xdg;
    TempDir dir;
    const std::string certs = dir.Path() + "/certs";
    ASSERT_EQ(test::RunProgram({"/bin/sh", KELVARIN_MAKE_CERTS, certs}).exitCode, 0);
    const auto cert = [&](const std::string& name) { return certs + "/" + name; };
    const std::string stored = dir.Path() + "/device.bin";
    Device device({"--tls", "--cert", cert("device.pem"), "--key", cert("device.key"), "--ca",
                   cert("ca.pem"), "--write-role", "Operator", "--image-out", stored});
    Device impostor({"--tls", "--cert", cert("device-other-ca.pem"), "--key",
                     cert("device-other-ca.key"), "--ca", cert("ca.pem")});
    ASSERT_TRUE(device.Port() > 0 && impostor.Port() > 0);
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("index.htm", 900)});

    // The 安全 group: its files editable only with TLS ticked.
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            return;
        }
        auto* tls = Find<QCheckBox>(*box, "tls");
        EXPECT_FALSE(Find<QLineEdit>(*box, "tlsCert")->isEnabled());
        tls->setChecked(true);
        EXPECT_TRUE(Find<QLineEdit>(*box, "tlsCert")->isEnabled());
        Find<QLineEdit>(*box, "tlsCert")->setText(QString::fromStdString(cert("operator.pem")));
        Find<QLineEdit>(*box, "tlsKey")->setText(QString::fromStdString(cert("operator-enc.key")));
        Find<QLineEdit>(*box, "tlsCa")->setText(QString::fromStdString(cert("ca.pem")));
        Find<QPushButton>(*box, "ok")->click();
    });
    Find<QAction>(*Find<QMenu>(window.Dlg(), "systemMenu"), "webOptionsAction")->trigger();
    const std::string ini = ReadAll(xdg.SettingsPath());
    EXPECT_NE(ini.find("Tls=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("TlsKey=" + cert("operator-enc.key")), std::string::npos) << ini;

    // The encrypted key's passphrase is asked once; a Connect again uses it.
    int asked = 0;
    std::optional<QString> answer = QStringLiteral("correct horse battery staple");
    window.Dlg().SetPassphraseAsker([&](QWidget*, const QString& key) {
        ++asked;
        EXPECT_EQ(key.toStdString(), cert("operator-enc.key"));
        return answer;
    });
    window.ClickConnect();
    ASSERT_TRUE(window.Connected()) << window.Log()->Lines().join('\n').toStdString();
    EXPECT_EQ(window.Log()->Lines().last(),
              HostPort(device.Port(), "连接成功（TLSv1.3，设备证书：CN=device-127.0.0.1）"));
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    EXPECT_EQ(window.Log()->Lines().last(), Line("发送结束!!!!!"));
    window.ClickConnect();
    ASSERT_EQ(device.ReadLine(), "image " + stored);
    const std::string image = ReadAll(xdg.DumpPath());
    EXPECT_EQ(ReadAll(stored).substr(0, image.size()), image);
    window.ClickConnect();
    EXPECT_TRUE(window.Connected());
    EXPECT_EQ(asked, 1);
    window.ClickConnect();

    // A device whose certificate the CA did not sign is not connected to.
    window.Port()->setText(impostor.PortText().c_str());
    window.ClickConnect();
    window.ExpectState(false);
    EXPECT_EQ(window.Log()->Lines().last(),
              HostPort(impostor.Port(),
                       "连接失败：设备证书的签发者未知（不是由所信任的CA证书签发的）"));

    // New options: the passphrase is asked again; cancelled, nothing connects.
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            Find<QPushButton>(*box, "ok")->click();
        }
    });
    Find<QAction>(*Find<QMenu>(window.Dlg(), "systemMenu"), "webOptionsAction")->trigger();
    answer.reset();
    window.Port()->setText(device.PortText().c_str());
    window.ClickConnect();
    window.ExpectState(false);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(window.Log()->Lines().last(),
              HostPort(device.Port(), "未连接：没有输入私钥") +
                  QString::fromStdString(cert("operator-enc.key")) + Line("的口令"));

    // A certificate whose role may not write: the refusal said as the role's.
    SendOptions reader = window.Dlg().Options();
    reader.tls.cert = cert("reader.pem");
    reader.tls.key = cert("reader.key");
    ASSERT_TRUE(SaveSendOptions(reader));
    Window readerWindow({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("b.htm", 100)});
    readerWindow.ClickConnect();
    ASSERT_TRUE(readerWindow.Connected());
    readerWindow.Send()->click();
    ASSERT_TRUE(readerWindow.WaitForSendEnd());
    EXPECT_TRUE(readerWindow.Log()->Lines().contains(
        Line("设备以异常01（非法功能）拒绝写入：本证书的角色不允许写")))
        << readerWindow.Log()->Lines().join('\n').toStdString();
}
#endif

TEST(Window, AReadBackThatLosesTheConnectionDisconnectsTheWindow) {
    XdgFolders xdg;
    TempDir dir;
    // Two chunks, then the device drops the connection at the first read.
    Device device({"--fault", "close-after=3"});
    ASSERT_GT(device.Port(), 0);
    SendOptions options;
    options.verifyAfterSend = true;
    ASSERT_TRUE(SaveSendOptions(options));
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("index.htm", 100)});
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    const QStringList lines = window.Log()->Lines();
    EXPECT_TRUE(lines.contains(Line("无法回读：读取偏移0时连接中断"))) << lines.join('\n').toStdString();
    window.ExpectState(false);
    window.ClickConnect();
    EXPECT_TRUE(window.Connected());
}

TEST(Window, ATraceFileThatIsAListedFileIsRefusedAndTheFileKept) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 700);
    const std::string before = ReadAll(page);
    Device device({"--image-out", dir.Path() + "/stored.bin"});
    ASSERT_GT(device.Port(), 0);
    SendOptions options;
    options.traceFile = dir.Path() + "/./index.htm";
    ASSERT_TRUE(SaveSendOptions(options));
    Window window({kProgram, "127.0.0.1", device.PortText(), page});
    window.ClickConnect();
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    EXPECT_EQ(window.Log()->Lines().mid(1),
              QStringList({QString::fromStdString("通信记录文件 " + options.traceFile +
                                                  "是要打包的文件之一，不会覆盖它")}));
    EXPECT_EQ(ReadAll(page), before);
    window.ClickConnect();
    QThread::msleep(200);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/stored.bin"));  // nothing was written
}

TEST(Window, VerifyOfAnEmptyListComparesNothing) {
    XdgFolders xdg;
    Device device;
    ASSERT_GT(device.Port(), 0);
    SendOptions options;
    options.verifyAfterSend = true;
    ASSERT_TRUE(SaveSendOptions(options));
    Window window({kProgram, "127.0.0.1", device.PortText()});
    window.ClickConnect();
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    EXPECT_EQ(window.Log()->Lines().mid(1),
              QStringList({Line("正在打包"), Line("打包完成"), Line("没有文件被打包，无可校验")}));
    window.ExpectState(true);
}

TEST(Window, ASendIsJournalledAndTheHistoryShowsIt) {
    XdgFolders xdg;
    TempDir state;
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string before = saved ? saved : "";
    test::SetEnv("XDG_STATE_HOME", state.Path().c_str());
    // Put back when the test ends: the window's Sends of later tests journal.
    struct Restore {
        const char* saved;
        const std::string& before;
        ~Restore() { test::SetEnv("XDG_STATE_HOME", saved ? before.c_str() : nullptr); }
    } restore{saved, before};
    Device device;
    ASSERT_GT(device.Port(), 0);
    TempDir dir;
    Window window({kProgram, "127.0.0.1", device.PortText(), dir.WriteSized("index.htm", 500)});
    window.ClickConnect();
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    CHistoryDlg history(*DefaultJournalPath());
    QTableWidget* table = history.Table();
    ASSERT_EQ(table->rowCount(), 2);  // the first record, then the end
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("send"));
    EXPECT_EQ(table->item(0, 2)->text(), QStringLiteral("127.0.0.1:%1").arg(device.Port()));
    EXPECT_EQ(table->item(0, 5)->text(), QStringLiteral("开始"));
    EXPECT_EQ(table->item(1, 5)->text(), QStringLiteral("成功"));
    EXPECT_FALSE(table->editTriggers() & QAbstractItemView::DoubleClicked);  // read only
    window.ClickConnect();
}

TEST(Window, FindingDevicesListsWhatAnswersAndPicksOne) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 700);
    const std::string image = dir.Path() + "/site.img";
    {
        JobPlan pack;
        pack.kind = JobKind::kPack;
        pack.source.files = {page};
        pack.outputs.imageFile = image;
        JobObserver quiet;
        ASSERT_FALSE(RunJob(pack, quiet).refusal);
    }
    Device device({"--load", image, "--unit", "7"});
    ASSERT_GT(device.Port(), 0);
    JobPlan plan;
    plan.kind = JobKind::kScan;
    plan.ranges = {"127.0.0.1"};
    plan.port = device.Port();
    plan.units = {0, 7};
    plan.source.files = {page};
    plan.journal.off = true;
    CFindDevicesDlg find(plan);
    EXPECT_EQ(find.Ranges()->text(), QStringLiteral("127.0.0.1"));
    find.OnFind();
    QLabel* status = find.findChild<QLabel*>(QStringLiteral("findStatus"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().startsWith(QStringLiteral("扫描了")); },
                                10000));
    QTableWidget* table = find.Table();
    ASSERT_EQ(table->rowCount(), 1) << status->text().toStdString();  // unit 0 answers nothing
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("127.0.0.1:%1").arg(device.Port()));
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("7"));
    EXPECT_TRUE(table->item(0, 2)->text().startsWith(QStringLiteral("Kelvarin kelvarin-device")));
    EXPECT_EQ(table->item(0, 4)->text(), QStringLiteral("是"));
    table->selectRow(0);
    find.findChild<QPushButton*>(QStringLiteral("use"))->click();
    ASSERT_TRUE(find.Picked());
    EXPECT_EQ(find.Picked()->address, "127.0.0.1");
    EXPECT_EQ(find.Picked()->port, device.Port());
    EXPECT_EQ(find.Picked()->unit, 7);
    // A scan can be stopped: a silent device is given up on at once.
    Device silent({"--fault", "silent"});
    plan.port = silent.Port();
    plan.units.clear();
    for (int unit = 0; unit < 30; ++unit) {
        plan.units.push_back(unit);  // six seconds, unstopped
    }
    CFindDevicesDlg stopped(plan);
    QElapsedTimer clock;
    clock.start();
    stopped.OnFind();
    QTest::qWait(150);
    stopped.OnStop();
    QLabel* stoppedStatus = stopped.findChild<QLabel*>(QStringLiteral("findStatus"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return stoppedStatus->text().startsWith(QStringLiteral("扫描了")); }, 10000));
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST(Window, ALateReplyFailsNoChunkOfTheNextSendAndAFloodEndsTheSend) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("a.htm", 600);
    {
        // The last reply of the first Send comes 300 ms late, after that Send
        // ended: it fails that chunk; the second Send, on the same
        // connection, must not take it for its first chunk's reply.
        Device late({"--fault", "late=6:300"});
        Window window({kProgram, "127.0.0.1", late.PortText(), page});
        window.ClickConnect();
        ASSERT_TRUE(window.Connected());
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd());
        EXPECT_TRUE(window.Log()->Lines().contains(Line("发送到688, 688, 10无应答")));
        QTest::qWait(400);  // the late echo is in by now, unread
        window.Log()->clear();
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd());
        const QStringList lines = window.Log()->Lines();
        EXPECT_TRUE(lines.filter(QStringLiteral("发送到")).isEmpty())
            << lines.join('\n').toStdString();
        EXPECT_EQ(lines.last(), Line("发送结束!!!!!"));
    }
    {
        // A device that echoes once, then floods copies of that echo: the
        // Send ends within the chunks' time-outs and the window takes input
        // again.
        Device flooding({"--fault", "stream=1"});
        Window window({kProgram, "127.0.0.1", flooding.PortText(), page});
        window.ClickConnect();
        ASSERT_TRUE(window.Connected());
        QElapsedTimer timer;
        timer.start();
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd(5000));
        EXPECT_LT(timer.elapsed(), 5 * 200 + 1000);  // five chunks lost
        EXPECT_TRUE(window.Log()->Lines().contains(Line("5个数据块发送失败")))
            << window.Log()->Lines().join('\n').toStdString();
        window.ExpectState(true);
    }
}

TEST(Window, DeleteRemovesEverySelectedRow) {
    XdgFolders xdg;
    TempDir dir;
    std::vector<std::string> args = {kProgram, "127.0.0.1", "502"};
    for (int i = 0; i < 4; ++i) {
        args.push_back(dir.WriteSized("f" + std::to_string(i) + ".htm", 100 + i));
    }
    Window window(args);
    CFileListView* list = window.List();
    auto select = [list](std::vector<int> rows) {
        list->clearSelection();
        for (int row : rows) {
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    };

    select({0, 2, 3});
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(window.Files().FileCount(), 1);
    EXPECT_EQ(window.Files().FilePath(0), Shown(args[4]));
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(window.Cell(1, kColumnName), TotalRowText(1));

    // The total row alone selected: nothing to delete.
    select({1});
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(window.Files().FileCount(), 1);
}

TEST(Window, ClearedCheckBoxRemovesItsRowAtTheNextEvent) {
    XdgFolders xdg;
    TempDir dir;
    const std::string a = dir.WriteSized("a.htm", 1000);
    const std::string b = dir.WriteSized("b.htm", 2048);
    const std::string c = dir.WriteSized("c.htm", 10);
    Window window({kProgram, "127.0.0.1", "502", a, b, c});
    CFileListView* list = window.List();

    // Space on the current row clears its box; the row stays until the next
    // event reaches the list, here the key's release.
    list->setCurrentIndex(list->model()->index(1, 0));
    QTest::keyPress(list, Qt::Key_Space);
    EXPECT_FALSE(window.Files().IsChecked(1));
    EXPECT_EQ(window.Files().FileCount(), 3);
    QTest::keyRelease(list, Qt::Key_Space);
    ASSERT_EQ(window.Files().FileCount(), 2);
    EXPECT_EQ(window.Files().FilePaths(), (std::vector<std::string>{Shown(a), Shown(c)}));
    EXPECT_EQ(window.Cell(2, kColumnLength), QStringLiteral("0.99k"));  // 0.98k + 0.01k

    // A repaint of the list is such an event too.
    list->model()->setData(list->model()->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
    list->viewport()->repaint();
    EXPECT_TRUE(WaitFor([&] { return window.Files().FileCount() == 1; }));
    // Ticking the total row's box removes nothing.
    list->model()->setData(list->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(window.Files().FilePaths(), (std::vector<std::string>{Shown(c)}));
}

TEST(Window, DoubleClicks) {
    XdgFolders xdg;
    TempDir dir;
    const std::string chosen = dir.WriteSized("chosen.htm", 50);
    Window window;
    window.SetTarget(QStringLiteral("127.0.0.1"), QString::number(test::UnusedPort()));

    // The log: a double-click empties it, an empty one stays empty.
    window.ClickConnect();
    window.ClickConnect();
    ASSERT_EQ(window.Log()->count(), 2);
    QTest::mouseDClick(window.Log()->viewport(), Qt::LeftButton);
    EXPECT_EQ(window.Log()->count(), 0);
    QTest::mouseDClick(window.Log()->viewport(), Qt::LeftButton);
    EXPECT_EQ(window.Log()->count(), 0);

    // The list, below its rows: the file dialog's choice is added; a
    // cancelled dialog adds nothing.
    QString answer = QString::fromStdString(chosen);
    int asked = 0;
    window.Dlg().SetFileChooser([&](QWidget*) {
        ++asked;
        return answer;
    });
    const QPoint below(40, window.List()->viewport()->height() - 5);
    QTest::mouseDClick(window.List()->viewport(), Qt::LeftButton, {}, below);
    ASSERT_EQ(window.Files().FilePaths(), std::vector<std::string>{Shown(chosen)});
    answer.clear();
    QTest::mouseDClick(window.List()->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(window.Files().FileCount(), 1);

    // A file given on the command line in the system's own way is the same
    // row when the dialog (which writes slashes on every system) names it.
    Window given({kProgram, "127.0.0.1", "502", Shown(chosen)});
    given.Dlg().SetFileChooser([&](QWidget*) { return QString::fromStdString(chosen); });
    QTest::mouseDClick(given.List()->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(given.Files().FilePaths(), std::vector<std::string>{Shown(chosen)});
}

TEST(Window, DroppedFilesKeepTheirOrderAndFullPaths) {
    XdgFolders xdg;
    TempDir dir;
    // A path well past 127 bytes, with a blank and Chinese in it.
    std::string deep = dir.Path();
    while (deep.size() < 200) {
        deep += "/a folder 目录";
        std::filesystem::create_directory(TempDir::Native(deep));
    }
    const std::string first = dir.WriteSized("z.htm", 10);
    const std::string longPath = deep + "/长的 name.htm";
    { std::ofstream(TempDir::Native(longPath)) << "<p>deep</p>"; }
    const std::string last = dir.WriteSized("a.css", 20);

    Window window;
    DropFiles(window.Dlg(), {first, longPath, first, last});

    EXPECT_EQ(window.Files().FilePaths(),
              (std::vector<std::string>{Shown(first), Shown(longPath), Shown(last)}));
    EXPECT_EQ(window.Cell(1, kColumnLength), QStringLiteral("0.01k"));  // it opened: not cut short
}

TEST(Window, FilesDroppedOnAnyControlReachTheList) {
    XdgFolders xdg;
    TempDir dir;
    Window window;
    // Edits take dropped text of their own accord; a dropped file is still a
    // file for the list, never text in the port or address field.
    std::vector<QWidget*> targets = {window.Port(), window.Address()->Field(2),
                                     window.Log()->viewport(), window.List()->viewport(),
                                     window.Connect()};
    for (std::size_t i = 0; i < targets.size(); ++i) {
        DropFiles(*targets[i], {dir.WriteSized("f" + std::to_string(i) + ".htm", 10)});
    }
    EXPECT_EQ(window.Files().FileCount(), static_cast<int>(targets.size()));
    EXPECT_EQ(window.Port()->text(), QStringLiteral("502"));
    EXPECT_EQ(window.Address()->Text(), QStringLiteral("192.168.2.80"));
}

TEST(Window, AnAddressThatNamesNoDeviceIsNotConnectedTo) {
    XdgFolders xdg;
    Device device;  // on this machine, where a connect to 0.0.0.0 would land
    ASSERT_GT(device.Port(), 0);
    Window window;
    for (const QString& address : {QStringLiteral("0.0.0.0"), QString()}) {
        window.SetTarget(address, QString::number(device.Port()));
        window.ClickConnect();
        window.ExpectState(false);
    }
    const QString failed = QStringLiteral("0.0.0.0:%1 连接失败").arg(device.Port());
    EXPECT_EQ(window.Log()->Lines(), QStringList({failed, failed}));
}

TEST(Window, AZeroPaddedAddressReachesTheDeviceItNames) {
    XdgFolders xdg;
    TempDir dir;
    test::LookAlikeDevices devices(KELVARIN_DEVICE_PATH, dir.Path());
    ASSERT_TRUE(devices.Ready());
    const std::string page = dir.WriteSized("index.htm", 300);
    Window window({kProgram, "127.000.000.010", std::to_string(devices.Port()), page});
    EXPECT_EQ(window.Address()->Text(), QStringLiteral("127.0.0.10"));
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    window.ClickConnect();
    EXPECT_EQ(devices.Ten().ReadLine(), "image " + devices.TenImage());
    const std::string dump = ReadAll(xdg.DumpPath());
    ASSERT_FALSE(dump.empty());
    EXPECT_EQ(ReadAll(devices.TenImage()).substr(0, dump.size()), dump);
    EXPECT_EQ(ReadAll(devices.EightImage()), "");
}

TEST(Window, SettingsSurviveARestart) {
    XdgFolders xdg;
    const QString port = QString::number(test::UnusedPort());
    {
        Window first;  // no settings file yet: the defaults
        EXPECT_EQ(first.Address()->Text(), QStringLiteral("192.168.2.80"));
        EXPECT_EQ(first.Port()->text(), QStringLiteral("502"));
        first.SetTarget(QStringLiteral("127.0.0.1"), port + "x");
        first.ClickConnect();  // refused, but stored before trying
        EXPECT_FALSE(first.Connected());
    }
    const std::string ini = ReadAll(xdg.SettingsPath());
    EXPECT_NE(ini.find("[Kelvarin]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("IPAddr=127.0.0.1"), std::string::npos) << ini;
    Window second;
    EXPECT_EQ(second.Address()->Text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(second.Port()->text(), port + "x");
}

TEST(Window, BrokenSettingsFilesGiveTheDefaults) {
    XdgFolders xdg;
    std::filesystem::create_directories(xdg.Path() + "/config");
    {
        std::ofstream garbage(xdg.SettingsPath(), std::ios::binary);
        garbage << "\xff\xfe[Kel\0varin\n=\n[[[\nIPAddr\n" << std::string(5000, '\x01');
    }
    Window corrupt;
    EXPECT_EQ(corrupt.Port()->text(), QStringLiteral("502"));

    // A folder where the file should be: read and write both fail quietly.
    std::filesystem::remove(xdg.SettingsPath());
    std::filesystem::create_directory(xdg.SettingsPath());
    Window folder;
    EXPECT_EQ(folder.Address()->Text(), QStringLiteral("192.168.2.80"));
    folder.SetTarget(QStringLiteral("127.0.0.1"), QStringLiteral("0"));
    folder.ClickConnect();
    EXPECT_EQ(folder.Log()->Lines().last(), HostPort(0, "连接失败"));
}

TEST(Window, CommandLine) {
    XdgFolders xdg;
    TempDir dir;
    const std::string a = dir.WriteSized("a.htm", 5);
    const std::string b = dir.Path() + "/b.gif";  // missing: listed as an open error

    Window full({kProgram, "10.0.0.7", "502", a, b});
    EXPECT_EQ(full.Address()->Text(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(full.Port()->text(), QStringLiteral("502"));
    EXPECT_EQ(full.Files().FilePaths(), (std::vector<std::string>{Shown(a), Shown(b)}));
    EXPECT_EQ(full.Cell(1, kColumnLength), QStringLiteral("打开错误"));
    full.ExpectState(false);

    Window one({kProgram, "10.0.0.7"});  // ignored
    EXPECT_EQ(one.Address()->Text(), QStringLiteral("192.168.2.80"));
    EXPECT_EQ(one.Port()->text(), QStringLiteral("502"));

    Window two({kProgram, "10.0.0.7", "503"});
    EXPECT_EQ(two.Address()->Text(), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(two.Port()->text(), QStringLiteral("503"));
    EXPECT_EQ(two.Files().FileCount(), 0);

    Window odd({kProgram, "not an address", "x"});
    EXPECT_EQ(odd.Address()->Text(), QStringLiteral("0.0.0.0"));
}

TEST(Window, EnterKeepsTheWindowEscapeAndExitClose) {
    XdgFolders xdg;
    Window window;
    ASSERT_TRUE(window.ShowActive());
    window.Port()->setFocus();
    QTest::keyClick(window.Port(), Qt::Key_Return);
    QTest::keyClick(window.Address()->Field(2), Qt::Key_Enter);
    EXPECT_TRUE(window.Dlg().isVisible());
    QTest::keyClick(window.Port(), Qt::Key_Escape);
    EXPECT_FALSE(window.Dlg().isVisible());
    EXPECT_EQ(window.Dlg().result(), QDialog::Rejected);

    ASSERT_TRUE(window.ShowActive());
    window.Exit()->click();
    EXPECT_FALSE(window.Dlg().isVisible());
}

TEST(Window, AboutBoxOpensFromTheWindowMenu) {
    XdgFolders xdg;
    Window window;
    QMenu* menu = Find<QMenu>(window.Dlg(), "systemMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 6);
    EXPECT_TRUE(menu->actions()[0]->isSeparator());
    QAction* about = menu->actions()[1];
    EXPECT_EQ(about->text(), QStringLiteral("关于 Kelvarin(&A)..."));
    EXPECT_EQ(menu->actions()[2]->text(), QStringLiteral("添加网站文件夹(&F)..."));
    EXPECT_EQ(menu->actions()[3]->text(), QStringLiteral("选项(&O)..."));
    EXPECT_EQ(menu->actions()[4]->text(), QStringLiteral("历史记录(&H)..."));
    EXPECT_EQ(menu->actions()[5]->text(), QStringLiteral("查找设备(&D)..."));

    QString title;
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            return;
        }
        title = box->windowTitle();
        for (QLabel* label : box->findChildren<QLabel*>()) {
            texts << label->text();
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    about->trigger();
    EXPECT_EQ(title, QStringLiteral("关于 Kelvarin"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Kelvarin 1.0 版")));
}

TEST(Window, WebOptionsAreChosenRememberedAndUsedBySend) {
    XdgFolders xdg;
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site/css");
    std::string page = "<!DOCTYPE html><link rel=stylesheet href=css/main.css>";
    for (int i = 0; i < 60; ++i) {
        page += "<p>row " + std::to_string(i) + "</p>";
    }
    dir.Write("site/index.htm", page);
    std::string style;
    for (int i = 0; i < 40; ++i) {
        style += ".row-" + std::to_string(i) + " { color: teal; margin: 0 auto; }\n";
    }
    dir.Write("site/css/main.css", style);
    const QString chosen = QString::fromStdString(dir.Path() + "/site");
    const QString site = QString::fromStdString(Shown(chosen.toStdString()));
    Device device;
    ASSERT_GT(device.Port(), 0);
    {
        Window window({kProgram, "127.0.0.1", device.PortText()});
        QMenu* menu = Find<QMenu>(window.Dlg(), "systemMenu");
        ASSERT_NE(menu, nullptr);
        // The whole site folder in one step: its files, and it becomes the root.
        window.Dlg().SetFolderChooser([&](QWidget*) { return chosen; });
        Find<QAction>(*menu, "addSiteFolderAction")->trigger();
        ASSERT_EQ(window.Files().FileCount(), 2);
        EXPECT_EQ(window.Dlg().Options().pack.siteRoot, site.toStdString());

        // The options dialog shows the root; tick both options.
        QString shownRoot;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box) {
                return;
            }
            shownRoot = Find<QLineEdit>(*box, "siteRoot")->text();
            Find<QCheckBox>(*box, "contentTypes")->setChecked(true);
            Find<QCheckBox>(*box, "gzip")->setChecked(true);
            Find<QCheckBox>(*box, "verify")->setChecked(true);
            Find<QPushButton>(*box, "ok")->click();
        });
        Find<QAction>(*menu, "webOptionsAction")->trigger();
        EXPECT_EQ(shownRoot, site);
        EXPECT_TRUE(window.Dlg().Options().pack.gzip);

        window.ClickConnect();
        ASSERT_TRUE(window.Connected());
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd());
        const QStringList lines = window.Log()->Lines();
        EXPECT_EQ(lines.mid(1, 3),
                  QStringList({QStringLiteral("网页选项：内容类型，gzip压缩，网站根目录") + site,
                               Line("正在打包"), Line("打包完成")}));
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines.mid(lines.size() - 3),
                  QStringList({Line("发送结束!!!!!"), Line("开始校验"),
                               QStringLiteral("校验通过，设备中的%1字节与映像相同")
                                   .arg(ReadAll(xdg.DumpPath()).size())}));
        window.ClickConnect();
    }
    // The device serves the stylesheet under its folder, typed and compressed.
    test::LoopbackClient client(device.HttpPort());
    client.Send("GET /css/main.css HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.ReceiveAll().rfind(
                  "HTTP/1.1 200 OK\r\nContent-type: text/css\r\nContent-Encoding: gzip\r\n\r\n", 0),
              0u);

    // A new window starts with the options of the last one; Cancel keeps them.
    Window again;
    EXPECT_TRUE(again.Dlg().Options().pack.contentTypes);
    EXPECT_TRUE(again.Dlg().Options().pack.gzip);
    EXPECT_EQ(again.Dlg().Options().pack.siteRoot, site.toStdString());
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            Find<QCheckBox>(*box, "gzip")->setChecked(false);
            Find<QPushButton>(*box, "cancel")->click();
        }
    });
    Find<QAction>(*Find<QMenu>(again.Dlg(), "systemMenu"), "webOptionsAction")->trigger();
    EXPECT_TRUE(again.Dlg().Options().pack.gzip);
    const std::string ini = ReadAll(xdg.SettingsPath());
    EXPECT_NE(ini.find("ContentTypes=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Gzip=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("VerifyAfterSend=1"), std::string::npos) << ini;
}

TEST(Window, NetworkOptionsRetryAndFallBackOverADeviceThatDropsAndAreKept) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 20000);
    const std::string tracePath = dir.Path() + "/trace.txt";
    // A device that answers one request at a time and drops the rest.
    Device device({"--max-in-flight", "1", "drop", "--latency", "1"});
    ASSERT_GT(device.Port(), 0);
    {
        Window window({kProgram, "127.0.0.1", device.PortText(), page});
        QMenu* menu = Find<QMenu>(window.Dlg(), "systemMenu");
        bool labelsFit = true;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box) {
                return;
            }
            for (QLabel* label : box->findChildren<QLabel*>()) {
                labelsFit = labelsFit && label->fontMetrics().horizontalAdvance(label->text()) <=
                                             label->width();
            }
            Find<QCheckBox>(*box, "verify")->setChecked(true);
            auto* retries = Find<QComboBox>(*box, "retries");
            retries->setCurrentIndex(retries->findText(QStringLiteral("3")));
            auto* inFlight = Find<QComboBox>(*box, "window");
            inFlight->setCurrentIndex(inFlight->findText(QStringLiteral("自动")));
            Find<QComboBox>(*box, "chunk")->setCurrentText(QStringLiteral("244"));
            Find<QLineEdit>(*box, "traceFile")->setText(QString::fromStdString(tracePath));
            Find<QPushButton>(*box, "ok")->click();
        });
        Find<QAction>(*menu, "webOptionsAction")->trigger();
        EXPECT_TRUE(labelsFit);
        const SendOptions& chosen = window.Dlg().Options();
        EXPECT_EQ(chosen.transfer.retries, 3);
        EXPECT_TRUE(chosen.transfer.autoWindow);
        EXPECT_EQ(chosen.transfer.chunkBytes, 244u);

        window.ClickConnect();
        ASSERT_TRUE(window.Connected());
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd(30000));
        const QStringList lines = window.Log()->Lines();
        // The fall-back to one in flight and the retry of what was dropped are
        // said; the image is in the device, read back.
        EXPECT_TRUE(lines.contains(QStringLiteral("无应答，改为每次只发一个请求"))) << lines.join(
            QLatin1Char('\n')).toStdString();
        EXPECT_FALSE(lines.filter(QStringLiteral("第1次重发")).isEmpty());
        EXPECT_EQ(lines.filter(QStringLiteral("数据块发送失败")).size(), 0);
        EXPECT_TRUE(lines.last().startsWith(QStringLiteral("校验通过")));
        window.ClickConnect();
    }
    const std::string trace = ReadAll(tracePath);
    EXPECT_NE(trace.find(" send tid 1: 00 01 00 00 00 FE 00 15 FB 06 00 10 00 00 00 7A"),
              std::string::npos);
    EXPECT_NE(trace.find("note one request in flight from now on (no reply)"), std::string::npos);
    // Kept for the next window.
    const std::string ini = ReadAll(xdg.SettingsPath());
    EXPECT_NE(ini.find("Retries=3"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Window=auto"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ChunkBytes=244"), std::string::npos) << ini;
    Window again;
    EXPECT_TRUE(again.Dlg().Options().transfer.autoWindow);
    EXPECT_EQ(again.Dlg().Options().traceFile, tracePath);
}

TEST(Window, LongerTimeOutsServeASlowLinkAndAreKept) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 300);
    Device device({"--latency", "150"});  // a 300 ms round trip
    ASSERT_GT(device.Port(), 0);
    {
        Window window({kProgram, "127.0.0.1", device.PortText(), page});
        QString firstShown;
        QTimer::singleShot(0, [&] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                Find<QComboBox>(*box, "timeout")->setCurrentText(QStringLiteral("1000"));
                firstShown = Find<QComboBox>(*box, "firstTimeout")->currentText();
                Find<QPushButton>(*box, "ok")->click();
            }
        });
        Find<QAction>(*Find<QMenu>(window.Dlg(), "systemMenu"), "webOptionsAction")->trigger();
        EXPECT_EQ(firstShown, QStringLiteral("同上"));
        EXPECT_EQ(window.Dlg().Options().transfer.timeouts.replyMs, 1000);
        EXPECT_EQ(window.Dlg().Options().transfer.firstReplyMs, 0);
        window.ClickConnect();
        ASSERT_TRUE(window.Connected());
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd(30000));
        const QStringList lines = window.Log()->Lines();
        EXPECT_TRUE(lines.filter(QStringLiteral("无应答")).isEmpty()) << lines.join(
            QLatin1Char('\n')).toStdString();
        EXPECT_EQ(lines.last(), Line("发送结束!!!!!"));
        window.ClickConnect();
    }
    const std::string ini = ReadAll(xdg.SettingsPath());
    EXPECT_NE(ini.find("TimeoutMs=1000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("FirstTimeoutMs=0"), std::string::npos) << ini;
    EXPECT_EQ(Window().Dlg().Options().transfer.timeouts.replyMs, 1000);
}

TEST(Window, ASiteFolderFollowsLinksAndLogsWhatItLeavesOut) {
    XdgFolders xdg;
    TempDir dir;
    std::filesystem::create_directories(dir.Path() + "/site");
    std::filesystem::create_directories(dir.Path() + "/shared");
    dir.Write("site/index.htm", "<p>");
    dir.Write("shared/logo.png", "png");
    const std::string site = dir.Path() + "/site";
    std::error_code linked;
    std::filesystem::create_directory_symlink(TempDir::Native(dir.Path() + "/shared"),
                                              TempDir::Native(site + "/img"), linked);
    if (linked) {
        // Windows makes symbolic links only with a privilege (or developer mode).
        GTEST_SKIP() << "no symbolic links here: " << linked.message();
    }
    std::filesystem::create_symlink(TempDir::Native(dir.Path() + "/gone.css"),
                                    TempDir::Native(site + "/main.css"));
    Window window;
    window.Dlg().SetFolderChooser([&](QWidget*) { return QString::fromStdString(site); });
    Find<QAction>(*Find<QMenu>(window.Dlg(), "systemMenu"), "addSiteFolderAction")->trigger();
    EXPECT_EQ(window.Files().FilePaths(), (std::vector<std::string>{Shown(site + "/index.htm"),
                                                                    Shown(site + "/img/logo.png")}));
    EXPECT_EQ(window.Log()->Lines(),
              QStringList({Line("网站文件夹中的main.css未加入：链接指向的文件不存在")}));
}

TEST(Window, FilesPastTheFiftiethAreNamedInOneLogLine) {
    XdgFolders xdg;
    TempDir dir;
    std::vector<std::string> args = {kProgram, "127.0.0.1", "502"};
    for (int i = 0; i < 55; ++i) {
        args.push_back(dir.WriteSized("f" + std::to_string(i) + ".htm", 10));
    }
    Window window(args);
    EXPECT_EQ(window.Files().FileCount(), 50);
    const QString past = QString::fromStdString(Shown(dir.Path() + "/"));
    EXPECT_EQ(window.Log()->Lines(),
              QStringList({QStringLiteral("5个文件超出50个文件的上限，未加入：%1f50.htm，%1f51.htm，"
                                          "%1f52.htm，%1f53.htm，%1f54.htm")
                               .arg(past)}));

    // A drop onto a full list: one more line; a file already listed is no loss.
    DropFiles(window.Dlg(), {args[3], dir.WriteSized("late.css", 10)});
    ASSERT_EQ(window.Log()->Lines().size(), 2);
    EXPECT_EQ(window.Log()->Lines()[1],
              QStringLiteral("1个文件超出50个文件的上限，未加入：%1late.css").arg(past));
}

TEST(Window, TheOptionsDialogRefusesASiteRootThatIsNoFolder) {
    XdgFolders xdg;
    TempDir dir;
    const QString missing = QString::fromStdString(dir.Path() + "/missing");
    const QString file = QString::fromStdString(dir.Write("page.htm", "x"));
    Window window;
    QStringList errors;
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box) {
            return;
        }
        auto* root = Find<QLineEdit>(*box, "siteRoot");
        for (const QString& bad : {missing, file}) {
            root->setText(bad);
            Find<QPushButton>(*box, "ok")->click();
            errors << Find<QLabel>(*box, "siteRootError")->text();
        }
        stillOpen = box->isVisible();
        root->setText(QString::fromStdString(dir.Path()));
        Find<QCheckBox>(*box, "allOrNothing")->setChecked(true);
        Find<QPushButton>(*box, "ok")->click();
    });
    Find<QAction>(*Find<QMenu>(window.Dlg(), "systemMenu"), "webOptionsAction")->trigger();
    // The words kelvarin-cli says of such a --site or --root.
    EXPECT_EQ(errors, QStringList({missing + QStringLiteral("：不是可以读取的文件夹"),
                                   file + QStringLiteral("：不是可以读取的文件夹")}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(window.Dlg().Options().pack.siteRoot, dir.Path());
    EXPECT_TRUE(window.Dlg().Options().allOrNothing);
    EXPECT_NE(ReadAll(xdg.SettingsPath()).find("AllOrNothing=1"), std::string::npos);
    EXPECT_TRUE(Window().Dlg().Options().allOrNothing);  // kept for the next window
}

TEST(Window, AllOrNothingSendsNothingWhenAFileDoesNotFit) {
    XdgFolders xdg;
    TempDir dir;
    const std::string page = dir.WriteSized("index.htm", 100);
    const std::string big = dir.WriteSized("big.bin", 140000);
    Device device({"--image-out", dir.Path() + "/stored.bin"});
    SendOptions options;
    options.allOrNothing = true;
    ASSERT_TRUE(SaveSendOptions(options));
    Window window({kProgram, "127.0.0.1", device.PortText(), page, big});
    window.ClickConnect();
    ASSERT_TRUE(window.Connected());
    window.Send()->click();
    ASSERT_TRUE(window.WaitForSendEnd());
    EXPECT_EQ(window.Log()->Lines().mid(1),
              QStringList({Line("正在打包"), Line("打包文件长度可能超过了最大限制，会有部分文件不能被打包"),
                           Line("大小已经超限，/big.bin文件不被打包"), Line("打包完成"),
                           Line("全部装下才发送：1个文件不能打包，什么也没有发送")}));
    EXPECT_TRUE(window.Connected());  // the link stays up, nothing was written on it
    window.ClickConnect();
    QThread::msleep(200);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/stored.bin"));
    EXPECT_FALSE(std::filesystem::exists(xdg.DumpPath()));
}

TEST(Window, QtsOwnTextsFollowTheWindowsChinese) {
    if (!std::filesystem::exists("/usr/share/qt6/translations/qtbase_zh_CN.qm")) {
        GTEST_SKIP() << "Qt's translations are not installed";
    }
    // The application installed them at start (the tests run in C.UTF-8).
    QFileDialog chooser(nullptr, QString(), QString());
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    QStringList buttons;
    for (QPushButton* button : chooser.findChildren<QPushButton*>()) {
        buttons << button->text();
    }
    EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(u'|').toStdString();
    EXPECT_TRUE(buttons.contains(QStringLiteral("打开(&O)"))) << buttons.join(u'|').toStdString();
    QLineEdit edit;
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList actions;
    for (QAction* action : menu->actions()) {
        actions << action->text().section(QLatin1Char('\t'), 0, 0);  // without the shortcut
    }
    EXPECT_TRUE(actions.contains(QStringLiteral("粘贴(&P)"))) << actions.join(u'|').toStdString();
}

TEST(Window, AnEnglishLocaleGetsEnglishTextsAndLogLines) {
    XdgFolders xdg;
    TempDir dir;
    Device device;
    test::SetEnv("LC_ALL", "en_US.UTF-8");
    QTranslator* english = InstallTranslation();
    ASSERT_NE(english, nullptr);
    {
        Window window({kProgram, "127.0.0.1", device.PortText(), dir.Path() + "/gone.htm"});
        EXPECT_EQ(window.Connect()->text(), QStringLiteral("Connect"));
        EXPECT_EQ(window.Send()->text(), QStringLiteral("Send"));
        EXPECT_EQ(window.List()->model()->headerData(2, Qt::Horizontal).toString(),
                  QStringLiteral("File name"));
        EXPECT_EQ(window.Cell(0, kColumnLength), QStringLiteral("open error"));
        EXPECT_EQ(window.Cell(1, kColumnName),
                  QStringLiteral("1 file  (at most 50 files, 128K in all)"));
        window.ClickConnect();
        ASSERT_TRUE(window.Connect()->text() == QStringLiteral("Disconnect"));
        window.Send()->click();
        ASSERT_TRUE(window.WaitForSendEnd());
        EXPECT_EQ(window.Log()->Lines(),
                  QStringList({HostPort(device.Port(), "connected"), Line("Packing"),
                               QString::fromStdString(Shown(dir.Path() + "/gone.htm") + ": cannot be opened"),
                               Line("Packing done"), Line("Sending"), Line("Sending finished")}));
        // Every label and button shows its whole text in the English layout.
        for (QWidget* control : window.Dlg().findChildren<QWidget*>()) {
            QString text;
            if (auto* label = qobject_cast<QLabel*>(control)) {
                text = label->text();
            } else if (auto* button = qobject_cast<QPushButton*>(control)) {
                text = button->text();
            }
            text.remove(QLatin1Char('&'));
            if (!text.isEmpty()) {
                EXPECT_LE(control->fontMetrics().horizontalAdvance(text), control->width())
                    << text.toStdString();
            }
        }
    }
    QCoreApplication::removeTranslator(english);
    delete english;
    test::SetEnv("LC_ALL", "C.UTF-8");
}

TEST(Window, LayoutUsesACjkFontAndDialogUnits) {
    XdgFolders xdg;
    Window window;
    // The dialog font must have the Chinese glyphs, or every text is boxes.
    const QRawFont raw = QRawFont::fromFont(window.Dlg().font());
    for (QChar c : QStringLiteral("连接发送退出状态文件名总计")) {
        EXPECT_TRUE(raw.supportsCharacter(c)) << raw.familyName().toStdString();
    }
    const DialogUnits& units = window.Dlg().Units();
    EXPECT_EQ(window.Dlg().size(), units.MapSize(325, 321));
    EXPECT_EQ(window.Connect()->geometry(), units.MapRect(150, 173, 64, 33));
    // The labels fit their texts.
    for (QLabel* label : window.Dlg().findChildren<QLabel*>()) {
        if (label->parentWidget() == &window.Dlg()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString();
        }
    }
}

}  // namespace
}  // namespace kelvarin
