// The window's input readers, the file list's texts and its IPv4 address
// control; the kelvarin program's --help and --version.
#include "file_list_view.h"
#include "ip_address_ctrl.h"
#include "text_input.h"
#include "window_test_support.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <climits>

namespace kelvarin {
namespace {

TEST(PortText, ReadsLikeStrtol) {
    EXPECT_EQ(ParsePortText("502"), 502);
    EXPECT_EQ(ParsePortText("502abc"), 502);
    EXPECT_EQ(ParsePortText(" \t502"), 502);
    EXPECT_EQ(ParsePortText("+503"), 503);
    EXPECT_EQ(ParsePortText("-1"), -1);
    EXPECT_EQ(ParsePortText(""), 0);
    EXPECT_EQ(ParsePortText("abc"), 0);
    EXPECT_EQ(ParsePortText("5 02"), 5);
    EXPECT_EQ(ParsePortText("70000"), 70000);
    EXPECT_EQ(ParsePortText("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParsePortText("-99999999999999999999"), INT_MIN);

    EXPECT_FALSE(IsPortInRange(0));
    EXPECT_TRUE(IsPortInRange(1));
    EXPECT_TRUE(IsPortInRange(65535));
    EXPECT_FALSE(IsPortInRange(65536));
    EXPECT_FALSE(IsPortInRange(-1));
}

TEST(AddressText, FieldsOfADottedAddress) {
    using Fields = std::array<int, 4>;
    EXPECT_EQ(ParseAddressFields("192.168.2.80"), (Fields{192, 168, 2, 80}));
    EXPECT_EQ(ParseAddressFields(" 10.0.0.7 "), (Fields{10, 0, 0, 7}));
    EXPECT_EQ(ParseAddressFields("300.1.2.3"), (Fields{255, 1, 2, 3}));
    EXPECT_EQ(ParseAddressFields("10..3"), (Fields{10, -1, 3, -1}));
    EXPECT_EQ(ParseAddressFields(""), (Fields{-1, -1, -1, -1}));
    EXPECT_EQ(ParseAddressFields("1.2.3.4.5"), std::nullopt);
    EXPECT_EQ(ParseAddressFields("1.2.3.1000"), std::nullopt);
    EXPECT_EQ(ParseAddressFields("device.local"), std::nullopt);
    EXPECT_EQ(ParseAddressFields("-1.2.3.4"), std::nullopt);
}

TEST(UriList, LocalPathsInOrderWithExactBytes) {
    const std::string longName(300, 'n');
    const std::string list =
        "# dropped by a file manager\r\n"
        "file:///tmp/a%20b/%E7%9B%AE.htm\r\n"
        "file://localhost/srv/" +
        longName +
        "\r\n"
        "file://otherhost/share/x.htm\r\n"
        "http://example.invalid/page.htm\r\n"
        "file:/plain/path.css\n"
        "file:///raw/%ff%FE.bin?query#frag\r\n"
        "file:///bad/%zz\r\n";
    EXPECT_EQ(LocalPathsFromUriList(list),
              (std::vector<std::string>{"/tmp/a b/目.htm", "/srv/" + longName, "/plain/path.css",
                                        "/raw/\xff\xfe.bin", "/bad/%zz"}));
    EXPECT_TRUE(LocalPathsFromUriList("").empty());
    EXPECT_TRUE(LocalPathsFromUriList("file:").empty());
    EXPECT_TRUE(LocalPathsFromUriList("file://hostonly").empty());
}

TEST(FileListTexts, RowsAndTotalAsTheListShowsThem) {
    EXPECT_EQ(SizeText(1000), QStringLiteral("0.98k"));
    EXPECT_EQ(SizeText(131072), QStringLiteral("128.00k"));
    EXPECT_EQ(SizeText(128), QStringLiteral("0.12k"));

    FileListModel list;
    EXPECT_EQ(CellText(list, 0, kColumnStatus), QStringLiteral("总计"));
    EXPECT_EQ(CellText(list, 0, kColumnLength), QStringLiteral("0.00k"));
    EXPECT_EQ(CellText(list, 0, kColumnName),
              QStringLiteral("文件数量：0  文件最大上限是50，长度上限128K"));

    test::TempDir dir;
    list.AddFile(dir.WriteSized("a.htm", 1000));
    list.AddFile(dir.WriteSized("b.gif", 2048));
    list.AddFile(dir.Path() + "/missing.htm");
    EXPECT_EQ(CellText(list, 0, kColumnStatus), QString());
    EXPECT_EQ(CellText(list, 0, kColumnLength), QStringLiteral("0.98k"));
    EXPECT_EQ(CellText(list, 1, kColumnName), QString::fromStdString(dir.Path() + "/b.gif"));
    EXPECT_EQ(CellText(list, 2, kColumnLength), QStringLiteral("打开错误"));
    EXPECT_EQ(CellText(list, 3, kColumnStatus), QStringLiteral("总计"));
    EXPECT_EQ(CellText(list, 3, kColumnLength), QStringLiteral("2.98k"));
    EXPECT_EQ(CellText(list, 3, kColumnName),
              QStringLiteral("文件数量：3  文件最大上限是50，长度上限128K"));
    EXPECT_EQ(CellText(list, 4, kColumnName), QString());
}

TEST(CommandLine, HelpAndVersionAloneAnswerWithoutAWindow) {
    auto version = test::RunProgram({KELVARIN_APP_PATH, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "kelvarin 1.0.0\n");
    auto help = test::RunProgram({KELVARIN_APP_PATH, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: kelvarin [ADDRESS PORT [FILE...]]"), std::string::npos);

    // Anywhere else they are an address or a port like any other text.
    EXPECT_FALSE(InfoText({"kelvarin"}));
    EXPECT_FALSE(InfoText({"kelvarin", "--version", "502"}));
    EXPECT_FALSE(InfoText({"kelvarin", "10.0.0.7", "--help"}));
}

// The control between two edits, as in the window.
class AddressControl : public ::testing::Test {
  protected:
    AddressControl() {
        auto* layout = new QVBoxLayout(&m_window);
        m_before = new QLineEdit(&m_window);
        m_control = new CIpAddressCtrl(&m_window);
        m_after = new QLineEdit(&m_window);
        layout->addWidget(m_before);
        layout->addWidget(m_control);
        layout->addWidget(m_after);
        m_window.show();
        m_window.activateWindow();
        m_active = QTest::qWaitForWindowActive(&m_window);
    }

    void Type(const char* keys) {
        // Each key goes where the focus is, as the control moves it on.
        m_control->Field(0)->setFocus();
        for (const char* key = keys; *key; ++key) {
            QTest::keyClick(QApplication::focusWidget(), *key);
        }
    }

    QWidget m_window;
    QLineEdit* m_before = nullptr;
    CIpAddressCtrl* m_control = nullptr;
    QLineEdit* m_after = nullptr;
    bool m_active = false;
};

TEST_F(AddressControl, TypingMovesAcrossTheFields) {
    ASSERT_TRUE(m_active);
    EXPECT_EQ(m_control->Text(), QStringLiteral("0.0.0.0"));
    EXPECT_TRUE(m_control->IsBlank());

    Type("127.0.0.1");
    EXPECT_EQ(m_control->Text(), QStringLiteral("127.0.0.1"));

    // A third digit moves on by itself; a dot in an empty field does nothing.
    m_control->SetText(QString());
    Type("192168.2..80");
    EXPECT_EQ(m_control->Text(), QStringLiteral("192.168.2.80"));

    // Values past 255 become 255; letters are refused.
    m_control->SetText(QString());
    Type("999.x7");
    EXPECT_EQ(m_control->Text(), QStringLiteral("255.7.0.0"));

    // Backspace at the start of a field goes back into the one before.
    m_control->SetText(QStringLiteral("10.20.30.40"));
    m_control->Field(2)->setFocus();
    m_control->Field(2)->setCursorPosition(0);
    QTest::keyClick(m_control->Field(2), Qt::Key_Backspace);
    EXPECT_EQ(QApplication::focusWidget(), m_control->Field(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(m_control->Text(), QStringLiteral("10.2.30.40"));
}

TEST_F(AddressControl, IsOneTabStop) {
    ASSERT_TRUE(m_active);
    m_before->setFocus();
    QTest::keyClick(m_before, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_control->Field(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_after);

    // From a middle field, Tab and Shift+Tab both leave the control.
    m_control->Field(2)->setFocus();
    QTest::keyClick(m_control->Field(2), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m_after);
    m_control->Field(2)->setFocus();
    QTest::keyClick(m_control->Field(2), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), m_before);
    m_after->setFocus();
    QTest::keyClick(m_after, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), m_control->Field(0));
}

TEST_F(AddressControl, SetTextReadsBackDotted) {
    m_control->SetText(QStringLiteral("010.000.2.080"));
    EXPECT_EQ(m_control->Text(), QStringLiteral("10.0.2.80"));
    m_control->SetText(QStringLiteral("10.1"));
    EXPECT_EQ(m_control->Text(), QStringLiteral("10.1.0.0"));
    m_control->SetText(QStringLiteral("localhost"));
    EXPECT_EQ(m_control->Text(), QStringLiteral("0.0.0.0"));
    EXPECT_TRUE(m_control->IsBlank());
}

}  // namespace
}  // namespace kelvarin
