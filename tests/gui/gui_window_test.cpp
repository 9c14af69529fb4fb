// The window's languages, control states, port-mode layout and the version field's rules.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/window_text.h"
#include "config/string_table.h"
#include "gui_test_support.h"

namespace termload::test {
namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

TEST(WindowLanguage, RelabelsEveryCaptionAndRefillsTheLanguageCombos) {
    {
        // A first start creates the empty Config.ini, which reads in Chinese like any file
        // without "Language": no design caption stays English beside the Chinese status texts.
        WindowUnderTest first;
        EXPECT_EQ(ReadFile(first.dir.Path() / "Config.ini"), "");
        EXPECT_EQ(first.Find<QGroupBox>("grpBox")->title(), "下载设置");
        EXPECT_EQ(first.Find<QLabel>("lblmodel")->text(), UiText(kLangChinese, 2));
        EXPECT_EQ(first.Find<QRadioButton>("rbSingle")->text(), "单端口下载");
        EXPECT_EQ(first.Find<QPushButton>("btnAdd")->text(), "读取配置文件");
        EXPECT_EQ(first.Find<QLabel>("lbCurrFile")->text(), "[COM1]已就绪");
        EXPECT_EQ(first.Find<QComboBox>("cmbParityBit")->currentText(), "无");
        EXPECT_EQ(first.Find<QComboBox>("cmbFlowCtrl")->currentText(), "无");
    }
    WindowUnderTest w(ConfigText("Language=1\nParityBit=2\nFlowCtrl=1\n"));
    EXPECT_EQ(w.window->windowTitle(), "Termload v3.6.29");
    EXPECT_EQ(w.Find<QGroupBox>("grpBox")->title(), "Config");
    EXPECT_EQ(w.Find<QGroupBox>("grpCom")->title(), "Port Setting");
    EXPECT_EQ(w.Find<QRadioButton>("rbSingle")->text(), "Single-Port");
    EXPECT_EQ(w.Find<QRadioButton>("rbMulti")->text(), "Multi-Port");
    EXPECT_EQ(w.Find<QRadioButton>("rbccid")->text(), "USB-CCID");
    EXPECT_EQ(w.Find<QLabel>("lblmodel")->text(), "Model");
    EXPECT_EQ(w.Find<QLabel>("Label1")->text(), "Device");
    EXPECT_EQ(w.Find<QPushButton>("btnDown")->text(), "&Download");
    EXPECT_EQ(w.Find<QPushButton>("ReadFileVersion")->text(), "Read Version");
    EXPECT_EQ(w.Find<QLabel>("Lab1")->text(), "COM1 Ready...");
    EXPECT_EQ(w.Find<QLabel>("Lab27")->text(), "COM27 Ready...");
    const auto* header = w.Find<QHeaderView>("HeaderControl");
    EXPECT_EQ(header->model()->headerData(0, Qt::Horizontal).toString(), "Type");
    EXPECT_EQ(header->model()->headerData(2, Qt::Horizontal).toString(), "Destination");
    EXPECT_EQ(header->sectionSize(0), 71);
    EXPECT_EQ(header->sectionSize(1), 120);

    auto* parity = w.Find<QComboBox>("cmbParityBit");
    auto* flow = w.Find<QComboBox>("cmbFlowCtrl");
    EXPECT_EQ(Items(parity), QStringList({"None", "Odd", "Even", "Mark", "Space"}));
    EXPECT_EQ(parity->currentText(), "Even");
    EXPECT_EQ(Items(flow), QStringList({"None", "Xon/Xoff", "Hardshake"}));
    EXPECT_EQ(flow->currentIndex(), 1);

    // A configuration without the key switches back to Chinese; the indexes it holds still count.
    w.Load(ConfigText("ParityBit=4\n"), "chinese.ini");
    EXPECT_EQ(w.Find<QGroupBox>("grpBox")->title(), "下载设置");
    EXPECT_EQ(w.Find<QLabel>("Lab9")->text(), "COM9 已就绪");
    EXPECT_EQ(w.Find<QPushButton>("btnDown")->text(), "开始下载(&D)");
    EXPECT_EQ(Items(parity), QStringList({"无", "奇校验", "偶校验", "标记", "空格"}));
    EXPECT_EQ(parity->currentText(), "空格");
    EXPECT_EQ(Items(flow).front(), "无");
    EXPECT_EQ(flow->currentIndex(), 0);
    EXPECT_EQ(w.Find<QLabel>("lbCurrFile")->text(), "[COM1]已就绪");
}

enum class Mode { Single, Multi, Hid, Ccid };

void Select(WindowUnderTest& w, Mode mode) {
    const char* names[] = {"rbSingle", "rbMulti", "rbusb", "rbccid"};
    Click(w.Find<QRadioButton>(names[static_cast<int>(mode)]));
}

TEST(WindowControls, FlashCtrlsFollowsStateDebugModeAndTransport) {
    for (const bool debug : {false, true}) {
        WindowUnderTest w(ConfigText(debug ? "DegugMode=1\n" : "DegugMode=0\n"));
        for (const Mode mode : {Mode::Single, Mode::Multi, Mode::Hid, Mode::Ccid}) {
            w.window->EnableControls(
                true);  // the radio buttons sit in a box the busy state disables
            Select(w, mode);
            for (const bool e : {true, false}) {
                SCOPED_TRACE(testing::Message() << "debug " << debug << " mode "
                                                << static_cast<int>(mode) << " e " << e);
                w.window->EnableControls(e);
                // The table of control states: what each control's own enabled state must be.
                const bool usb = mode == Mode::Hid || mode == Mode::Ccid;
                const std::pair<std::vector<const char*>, bool> states[] = {
                    {{"cmbMode", "edVersion", "ckFiles", "bbtnadd"}, e && debug},
                    {{"cmbBuardRate", "cmbDataBit", "cmbStopBit", "cmbParityBit", "cmbFlowCtrl"},
                     e && debug && !usb},
                    {{"cmbccid", "grpBox", "btnAdd", "btnDown"}, e},
                    {{"grpCom", "ckUsb"}, e && !usb},
                    {{"btntest"}, mode == Mode::Ccid}};
                for (const auto& [names, enabled] : states) {
                    for (const char* name : names) {
                        EXPECT_EQ(OwnEnabled(w.Find<QWidget>(name)), enabled) << name;
                    }
                }
                // The clock button sits outside the group boxes: usable in single-port mode even
                // while a download runs.
                EXPECT_EQ(w.Find<QWidget>("btnTime")->isEnabled(), mode == Mode::Single);
            }
        }
    }
}

// Debug mode shows in the caption, and an index out of its combo's range selects nothing.
TEST(WindowControls, DebugModeAndTheVersionFieldThatTakesTwoUpperCaseHexDigits) {
    WindowUnderTest w(ConfigText("DegugMode=1\nBuardRate=40\nMachMode=1\nHardVersion=10\n"));
    EXPECT_EQ(w.window->windowTitle(), "Termload v3.6.29 - Debug Mode");
    EXPECT_EQ(w.Find<QComboBox>("cmbBuardRate")->currentIndex(), -1);
    EXPECT_EQ(w.Find<QComboBox>("cmbMode")->currentText(), "M868");
    auto* version = w.Find<QLineEdit>("edVersion");
    EXPECT_EQ(version->text(), "10");
    version->clear();
    QTest::keyClicks(version, "g-.");
    EXPECT_EQ(version->text(), "");
    QTest::keyClicks(version, "f");
    EXPECT_EQ(version->text(), "F");
    QTest::keyClick(version, Qt::Key_Backspace);
    EXPECT_EQ(version->text(), "");
    QTest::keyClicks(version, "a7c");
    EXPECT_EQ(version->text(), "A7");
    EXPECT_EQ(w.window->Config().controls.hardVersion, "A7");

    version->setText("7");
    emit version->editingFinished();
    EXPECT_EQ(version->text(), "07");
    EXPECT_EQ(w.window->Config().controls.hardVersion, "07");
    version->clear();
    emit version->editingFinished();
    EXPECT_EQ(version->text(), "00");
}

TEST(WindowLayout, WidthFollowsPortModeAndPortCount) {
    WindowUnderTest w(ConfigText("Language=1\nPort=2\n"));
    auto* normal = w.Find<QWidget>("pnlNormal");
    auto* files = w.Find<QWidget>("pnlFiles");
    EXPECT_EQ(w.window->width(), 330);
    EXPECT_EQ(w.window->height(), 528);
    EXPECT_EQ(files->height(), 126);

    Select(w, Mode::Multi);
    EXPECT_EQ(w.window->width(), 554);
    EXPECT_FALSE(normal->isVisible());
    EXPECT_EQ(files->height(), 159);
    EXPECT_TRUE(w.Find<QWidget>("cmbPortNum")->isEnabled());
    EXPECT_FALSE(w.Find<QWidget>("cmbPort")->isEnabled());

    auto* count = w.Find<QComboBox>("cmbPortNum");
    Choose(count, 1);
    EXPECT_EQ(w.window->width(), 777);
    Choose(count, 2);
    EXPECT_EQ(w.window->width(), 1001);
    // Every port's label and bar lie inside the window at 27 ports; at 18 the third column is cut.
    for (int port = 1; port <= 27; ++port) {
        const auto* label = w.Find<QLabel>("Lab", port);
        EXPECT_EQ(label->width(), 200);
        EXPECT_LE(label->mapTo(w.window.get(), QPoint(label->width(), 0)).x(), 1001);
        EXPECT_EQ(w.Find<QProgressBar>("Prog", port)->maximum(), 100);
    }
    EXPECT_GE(w.Find<QLabel>("Lab19")->mapTo(w.window.get(), QPoint(0, 0)).x(), 777);

    Select(w, Mode::Single);
    EXPECT_EQ(w.window->width(), 330);
    EXPECT_EQ(w.Find<QLabel>("lbCurrFile")->text(), "[COM3] Ready");
    EXPECT_TRUE(normal->isVisible());
    EXPECT_EQ(files->height(), 126);
    EXPECT_EQ(w.Find<QComboBox>("cmbPortNum")->currentIndex(), 2);

    Select(w, Mode::Hid);
    EXPECT_EQ(w.window->width(), 330);
    EXPECT_EQ(w.Find<QLabel>("lbCurrFile")->text(), "[COM3]Ready");
    EXPECT_FALSE(w.Find<QWidget>("btnTime")->isEnabled());

    // A configuration load sets the port count but leaves the port mode as the operator chose it.
    Select(w, Mode::Multi);
    w.Load(ConfigText("PortNum=1\n"), "eighteen.ini");
    EXPECT_TRUE(w.Find<QRadioButton>("rbMulti")->isChecked());
    EXPECT_EQ(count->currentIndex(), 1);
}

TEST(WindowControls, KernelModelForcesSinglePortUntilAnotherModelIsChosen) {
    WindowUnderTest w(ConfigText("DegugMode=1\n", "00=M740-32\n01=boot-kernel\n"));
    auto* model = w.Find<QComboBox>("cmbMode");
    auto* multi = w.Find<QRadioButton>("rbMulti");
    Select(w, Mode::Multi);
    EXPECT_EQ(w.window->width(), 554);

    Choose(model, 1);
    EXPECT_TRUE(w.window->Config().settings.kernelMode);
    EXPECT_TRUE(w.Find<QRadioButton>("rbSingle")->isChecked());
    EXPECT_EQ(w.window->width(), 330);
    EXPECT_FALSE(OwnEnabled(multi));
    EXPECT_FALSE(OwnEnabled(w.Find<QWidget>("cmbPortNum")));

    Choose(model, 0);
    EXPECT_FALSE(w.window->Config().settings.kernelMode);
    EXPECT_TRUE(OwnEnabled(multi));
    EXPECT_TRUE(OwnEnabled(w.Find<QWidget>("cmbPortNum")));
    EXPECT_TRUE(w.Find<QRadioButton>("rbSingle")->isChecked());

    // Loading a configuration whose selected model is a kernel model forces it the same way.
    Select(w, Mode::Multi);
    w.Load(ConfigText("MachMode=1\n", "00=M740-32\n01=NEW-KERNEL\n"), "kernel.ini");
    EXPECT_TRUE(w.Find<QRadioButton>("rbSingle")->isChecked());
    EXPECT_FALSE(OwnEnabled(multi));
}

}  // namespace
}  // namespace termload::test
