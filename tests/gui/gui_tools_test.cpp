// The clock button, its caption, the USB serial emulator check box and the version read.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <numeric>

#include "channels/port_map.h"
#include "gui_test_support.h"
#include "support/pty.h"

namespace termload::test {
namespace {

// A pseudo-terminal whose slave stands in for COM1 while the object lives.
class PtyPort : public Pty {
  public:
    explicit PtyPort(const TempDir& dir) {
        SetPortMapFile(dir.Write("ports.ini", "[Ports]\nCOM1=" + SlavePath() + "\n"));
    }
    ~PtyPort() { SetPortMapFile(previous_); }

  private:
    std::filesystem::path previous_ = PortMapFile();
};

TEST(WindowClock, SendsTheClockPacketOnTheSelectedPortAndReportsTheOutcome) {
    WindowUnderTest w(ConfigText("Language=1\nBuardRate=0\n"));
    PtyPort port(w.dir);
    auto* label = w.Find<QLabel>("lbCurrFile");

    Click(w.Find<QPushButton>("btnTime"));
    const std::string got = port.Read(1, std::chrono::seconds(2)) + port.ReadUntilQuiet();
    const std::vector<unsigned char> packet(got.begin(), got.end());
    ASSERT_EQ(packet.size(), 17u);
    EXPECT_EQ(std::vector<unsigned char>(packet.begin(), packet.begin() + 7),
              std::vector<unsigned char>({1, 1, 1, 1, 0x10, 0x50, 0x08}));
    EXPECT_EQ(packet[15], 3);
    EXPECT_EQ(packet[16], std::accumulate(packet.begin() + 3, packet.begin() + 16, 0u) & 0xFF);
    EXPECT_EQ(label->text(), "[COM1]Download clock...OK");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));

    // A port the table does not hold cannot be opened: red text, nothing sent.
    Choose(w.Find<QComboBox>("cmbPort"), 1);
    Click(w.Find<QPushButton>("btnTime"));
    EXPECT_EQ(label->text(), "[COM2]Port open failed");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST(WindowVersionRead, UnchecksWhatTheLocalListDoesNotKeepAndNeedsAnOpenPortInSinglePortMode) {
    WindowUnderTest w(ConfigText("Language=1\n", "00=M740-32\n",
                                 History({"1;boot.bin;boot.bin", "1;sdk.bin;sdk.bin",
                                          "1;other.dat;other.dat", "1;core.bin;core.bin"})));
    w.dir.Write("UserLoacaVersion.ini", "0;boot;B002\n");
    auto* list = w.Find<QListWidget>("ckFiles");
    ASSERT_EQ(list->count(), 4);
    list->item(3)->setCheckState(Qt::Unchecked);
    const auto checks = [list] {
        std::string marks;
        for (int row = 0; row < list->count(); ++row) {
            marks += list->item(row)->checkState() == Qt::Checked ? 'x' : '-';
        }
        return marks;
    };

    // Multi-port: no port is opened and only the checked rows are looked at.
    Click(w.Find<QRadioButton>("rbMulti"));
    Click(w.Find<QPushButton>("ReadFileVersion"));
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].kind, PromptKind::Error);
    EXPECT_EQ(w.prompts.Boxes()[0].text, "Source file: other.dat is too low  ");
    EXPECT_EQ(checks(), "xx--");
    EXPECT_EQ(w.window->Config().files.Rows()[2].checked, false);

    // Single port on a device that is not there: every row checked, nothing decided.
    const std::filesystem::path previous = PortMapFile();
    SetPortMapFile(w.dir.Write("ports.ini", "[Ports]\nCOM1=/dev/termload-no-such-tty\n"));
    Click(w.Find<QRadioButton>("rbSingle"));
    Click(w.Find<QPushButton>("ReadFileVersion"));
    SetPortMapFile(previous);
    EXPECT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(checks(), "xxxx");
    auto* label = w.Find<QLabel>("lbCurrFile");
    EXPECT_EQ(label->text(), "[COM1]Port open failed");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST(WindowClock, CaptionShowsTheSelectedPortAndTheTime) {
    WindowUnderTest w(ConfigText("Port=2\n"));
    w.window->RefreshClockCaption();
    const QString caption = w.Find<QPushButton>("btnTime")->text();
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral(
                "^ 下载时钟\\(&T\\) \\(COM3\\)  \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
            .match(caption)
            .hasMatch())
        << caption.toStdString();
}

TEST(WindowUsbEmulator, SelectsAndLocksTheEmulatorPortOrSaysItIsMissing) {
    std::optional<int> emulatorPort = 5;
    WindowPlaces places;
    places.usbEmulatorPort = [&emulatorPort] { return emulatorPort; };
    WindowUnderTest w(ConfigText("Language=1\n"), places);
    auto* usb = w.Find<QCheckBox>("ckUsb");
    auto* port = w.Find<QComboBox>("cmbPort");
    auto* single = w.Find<QRadioButton>("rbSingle");
    auto* multi = w.Find<QRadioButton>("rbMulti");
    Click(multi);

    Click(usb);
    EXPECT_TRUE(usb->isChecked());
    EXPECT_EQ(port->currentText(), "COM5");
    EXPECT_TRUE(single->isChecked());
    EXPECT_EQ(w.window->width(), 330);
    EXPECT_FALSE(single->isEnabled());
    EXPECT_FALSE(multi->isEnabled());
    EXPECT_FALSE(port->isEnabled());
    EXPECT_TRUE(w.prompts.Boxes().empty());

    // Unticking frees the port controls and keeps the port.
    Click(usb);
    EXPECT_FALSE(usb->isChecked());
    EXPECT_TRUE(single->isEnabled());
    EXPECT_TRUE(multi->isEnabled());
    EXPECT_TRUE(port->isEnabled());
    EXPECT_EQ(port->currentText(), "COM5");

    // A port the list does not hold, or no emulator at all: the message, and the box unticked.
    for (const std::optional<int> missing : {std::optional<int>(30), std::optional<int>()}) {
        emulatorPort = missing;
        w.prompts.Clear();
        Click(usb);
        EXPECT_FALSE(usb->isChecked());
        ASSERT_EQ(w.prompts.Boxes().size(), 1u);
        EXPECT_EQ(w.prompts.Boxes()[0].text, "Can not find USB Emluator!");
        EXPECT_EQ(port->currentText(), "COM5");
        EXPECT_TRUE(port->isEnabled());
    }
}

}  // namespace
}  // namespace termload::test
