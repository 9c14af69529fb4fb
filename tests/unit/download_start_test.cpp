// The checks a download start makes, the job it builds, and the texts the download shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "config/string_table.h"
#include "engine/address_file_flow.h"
#include "engine/download_texts.h"
#include "engine/ordinary_file_flow.h"
#include "engine/start_check.h"
#include "engine/timer_file.h"
#include "support/files.h"

namespace termload {
namespace {

namespace fs = std::filesystem;

class StartCheckTest : public ::testing::Test {
  protected:
    StartCheckTest() {
        config.settings.modeCodes = {"05", "21"};
        config.controls.modelItems = {"M740-32", "M868"};
        config.controls.modelIndex = 0;
        config.controls.hardVersion = "1A";
        options.userAddrFile = dir / "UserAddrFile.ini";
        options.portTable.emplace();
        for (int port = 1; port <= 27; ++port) {
            (*options.portTable)[port] = (dir / ("tty" + std::to_string(port))).string();
        }
    }

    void Row(const std::string& name, const std::string& destination, bool exists = true,
             int kind = 1) {
        if (exists) {
            std::ofstream(dir / name) << "x";
        }
        ASSERT_EQ(config.files.AddFileRow(kind, (dir / name).string(), destination),
                  AddRowResult::Added);
    }

    test::ScratchDir scratch{"termload-start"};
    const fs::path dir = scratch.Path();
    Configuration config;
    StartOptions options;
};

// A row that cannot go refuses the start, named by its place and source file, and is left as it
// is: a terminal is never sent part of the list. The window and the command line show the same
// messages (gui_download_test, cli_run_test).
TEST_F(StartCheckTest, MissingFilesAndLongNamesRefuseTheStartNamingEachRow) {
    config.settings.langBase = kLangEnglish;
    config.settings.newMachine = false;
    Row("a.bin", "a.bin");
    Row("missing.bin", "missing.bin", false);
    Row("c.bin", "fourteen-chars");
    Row("d.bin", "fifteen-chars.x");
    Row("e.bin", "名字七个字符.b");   // 14 bytes in GBK, 20 in UTF-8
    Row("f.bin", "名字七个字符.bi");  // 15 bytes in GBK

    StartCheck check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 3u);
    EXPECT_EQ(check.messages[0].text,
              "Download not started: row 2 of the file list (missing.bin): "
              "Source file: " +
                  (dir / "missing.bin").string() + " not exist! ");
    EXPECT_EQ(check.messages[1].text,
              "Download not started: row 4 of the file list (d.bin): " +
                  std::string(TextOf(kLangEnglish, kTextDestinationOver14)));
    EXPECT_EQ(
        check.messages[2].text.rfind("Download not started: row 6 of the file list (f.bin)", 0),
        0u);
    for (int row = 0; row < 6; ++row) {
        EXPECT_TRUE(config.files.Rows()[row].checked) << "left as it was: " << row;
    }

    // Without them the rest starts.
    for (const int row : {1, 3, 5}) {
        config.files.SetChecked(row, false);
    }
    check = CheckStart(config, options);
    ASSERT_TRUE(check.job);
    EXPECT_TRUE(check.messages.empty());
    EXPECT_EQ(check.job->fileCount, 3);
    ASSERT_EQ(check.job->rows.size(), 3u);
    EXPECT_EQ(check.job->rows[2].row, 4);
    EXPECT_EQ(check.job->modeCode, 0x05);
    EXPECT_EQ(check.job->hardwareVersion, 0x1A);

    // With the full frame the limit is 50 bytes; M868 adds the address file to the count.
    config.settings.newMachine = true;
    config.settings.langBase = kLangChinese;
    config.controls.modelIndex = 1;
    config.files.Clear();
    Row("a.bin", std::string(50, 'n'));
    Row("b.bin", std::string(51, 'n'));
    Row("qtv.bin", "qtv.pk");
    check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 1u);
    EXPECT_EQ(check.messages[0].text,
              "未开始下载, 文件列表第2行 (b.bin): " +
                  std::string(TextOf(kLangChinese, kTextDestinationOver50)));
    config.files.SetChecked(1, false);
    check = CheckStart(config, options);
    ASSERT_TRUE(check.job);
    EXPECT_EQ(check.job->fileCount, 3) << "two rows and the address file";
    EXPECT_EQ(check.job->modeCode, 0x21);
    EXPECT_EQ(check.job->addressFileNames, std::vector<std::string>{std::string(50, 'n')});
}

TEST_F(StartCheckTest, ChoicesThisBuildCannotServeAreRefusedWithAReason) {
    Row("a.bin", "a.bin");
    const auto refusedWith = [&](const std::string& fragment) {
        const StartCheck check = CheckStart(config, options);
        EXPECT_FALSE(check.job);
        return check.messages.size() == 1 &&
               check.messages[0].text.find(fragment) != std::string::npos;
    };
    config.settings.langBase = kLangEnglish;

    config.controls.modelItems[0] = std::string(30, 'M');
    EXPECT_TRUE(refusedWith("longer than 29 bytes"));
    config.controls.modelItems[0] = std::string(29, 'M');
    EXPECT_TRUE(CheckStart(config, options).job) << "29 bytes fit";
    // The field holds GBK: eleven Chinese characters are 22 bytes there (33 in UTF-8), fifteen 30.
    const std::string chinese = "机机机机机机机机机机机";  // eleven
    config.controls.modelItems[0] = chinese;
    EXPECT_TRUE(CheckStart(config, options).job) << "22 GBK bytes fit";
    config.controls.modelItems[0] = chinese + "机型名称";
    EXPECT_TRUE(refusedWith("longer than 29 bytes"));

    // Kernel mode serves one terminal's boot loader: a single port only.
    config.controls.modelItems[0] = "M740-KERNEL";
    const StartCheck kernel = CheckStart(config, options);
    ASSERT_TRUE(kernel.job);
    EXPECT_TRUE(kernel.job->kernelMode) << "the model's name makes it, whatever the setting";
    config.controls.portMode = PortMode::Multi;
    EXPECT_TRUE(refusedWith("single port only: M740-KERNEL"));
    config.controls.portMode = PortMode::Single;
    config.controls.modelItems[0] = "M740-32";

    config.controls.portMode = PortMode::UsbHid;
    EXPECT_TRUE(CheckStart(config, options).job) << "USB-HID has its link";
    config.controls.portMode = PortMode::UsbCcid;
    EXPECT_TRUE(refusedWith("USB-CCID"));
    config.controls.portMode = PortMode::Single;

    Row("kernel.img", "kernel.img", true, 0);
    EXPECT_TRUE(CheckStart(config, options).job) << "kernel images go through the console";
    // ... which only a serial port reaches: over USB-HID the row, and a kernel model, refuse.
    config.controls.portMode = PortMode::UsbHid;
    EXPECT_TRUE(refusedWith("serial port: kernel.img"));
    config.controls.modelItems[0] = "M740-KERNEL";
    EXPECT_TRUE(refusedWith("serial port: M740-KERNEL"));
    config.controls.modelItems[0] = "M740-32";
    config.controls.portMode = PortMode::Single;
    // BIOS, kernel and root rows reach the boot console in any mode, on one port: their images
    // share the one USB download device.
    Row("root.img", "root.img", true, 5);
    EXPECT_TRUE(CheckStart(config, options).job) << "outside kernel mode too";
    config.controls.portMode = PortMode::Multi;
    EXPECT_TRUE(refusedWith("single port only: root.img"));
    config.controls.portMode = PortMode::Single;
    config.files.SetChecked(2, false);

    config.controls.modelIndex = -1;
    EXPECT_TRUE(refusedWith("No model"));
}

TEST_F(StartCheckTest, PortsPacingAndTheUserAddressFile) {
    Row("a.bin", "a.bin");
    config.controls.portMode = PortMode::Multi;
    config.controls.portNumIndex = 1;
    config.controls.portIndex = 5;
    config.settings.frameDelayMs = -5;
    config.settings.pieceDelayMs = 7;
    StartCheck check = CheckStart(config, options);
    ASSERT_TRUE(check.job);
    EXPECT_EQ(check.job->portCount, 18) << "whatever port the single-port list shows";
    EXPECT_EQ(check.job->pacing.s4kDelayMs, 0u) << "a negative delay waits not at all";
    EXPECT_EQ(check.job->pacing.usbDelayMs, 7u);

    // M868 with local addresses needs the user address file, and nothing starts without it.
    config.controls.modelIndex = 1;
    config.settings.useLocalAddressFile = 1;
    check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 1u);
    EXPECT_EQ(check.messages[0].text, std::string(TextOf(0, kTextSourceFile)) +
                                          options.userAddrFile.string() +
                                          std::string(TextOf(0, kTextNotExist)));
    std::ofstream(options.userAddrFile) << "[1]\nName=a.bin\nStart=0x1000\nEnd=0x2000\n";
    check = CheckStart(config, options);
    ASSERT_TRUE(check.job);
    ASSERT_EQ(check.job->userAddresses.size(), 1u);
    EXPECT_EQ(check.job->userAddresses[0].startAddr, "0x1000");

    // Another model does not need it.
    fs::remove(options.userAddrFile);
    config.controls.modelIndex = 0;
    EXPECT_TRUE(CheckStart(config, options).job);

    // No valid row: nothing starts, and nothing is said beyond the row's own warning.
    fs::remove(dir / "a.bin");
    check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    EXPECT_EQ(check.messages.size(), 1u);
}

TEST_F(StartCheckTest, RowsThatCannotReachTheTerminalAsTheyStandRefuseTheStart) {
    config.settings.langBase = kLangEnglish;
    config.settings.newMachine = false;
    config.settings.rootDir = "/home/";
    Row("a.bin", "a.bin");                          // "/home/a.bin": 11 bytes
    Row("empty.bin", "empty.bin");                  // no frame would carry it
    Row("smile.bin", "smile\xF0\x9F\x98\x80.bin");  // GBK has no emoji
    Row("c.bin", "fourteen-chars");                 // fits alone, not behind RootDir
    Row("d.bin", "/home/d-is-long");                // begins with RootDir: nothing is put in front
    Row("huge.bin", "huge.bin");                    // a byte over what a terminal takes
    Row("unnamed.bin", "");  // the rename dialog's empty name: all zeros, the address file's mark
    std::ofstream(dir / "empty.bin", std::ios::trunc).close();
    std::filesystem::resize_file(dir / "huge.bin", 0x3FC0001);  // sparse on disk

    StartCheck check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 6u);
    const auto reason = [&](std::size_t index) {
        const std::string& text = check.messages[index].text;
        const std::size_t colon = text.find("): ");
        return colon == std::string::npos ? text : text.substr(colon + 3);
    };
    EXPECT_EQ(reason(0), "Source file is empty: " + (dir / "empty.bin").string());
    EXPECT_EQ(reason(1), "Name has characters GBK cannot carry: smile\xF0\x9F\x98\x80.bin");
    EXPECT_EQ(reason(2),
              "Destination name with RootDir longer than 14 bytes: /home/fourteen-chars");
    EXPECT_EQ(reason(3), TextOf(kLangEnglish, kTextDestinationOver14));
    EXPECT_EQ(reason(4),
              "Source file: " + (dir / "huge.bin").string() + ": File size must less 64M");
    EXPECT_EQ(check.messages[5].text,
              "Download not started: row 7 of the file list (unnamed.bin): Destination name is "
              "empty");
    for (int row = 1; row < 7; ++row) {
        config.files.SetChecked(row, false);
    }
    check = CheckStart(config, options);
    ASSERT_TRUE(check.job);
    ASSERT_EQ(check.job->rows.size(), 1u);
    EXPECT_EQ(check.job->channel.devices, (PortTable{{1, (dir / "tty1").string()}}))
        << "the job keeps the table of its ports";

    // The full frame: 50 bytes with RootDir, in Chinese too.
    config.settings.newMachine = true;
    config.settings.langBase = kLangChinese;
    config.files.Clear();
    Row("e.bin", std::string(44, 'n'));
    Row("f.bin", std::string(45, 'n'));
    check = CheckStart(config, options);
    EXPECT_FALSE(check.job);
    ASSERT_EQ(check.messages.size(), 1u);
    EXPECT_EQ(check.messages[0].text,
              "未开始下载, 文件列表第2行 (f.bin): "
              "加上RootDir后目标文件名超过50字节: /home/" +
                  std::string(45, 'n'));
}

TEST_F(StartCheckTest, WhatSpoilsTheWholeRunRefusesTheStartNamingTheCause) {
    config.settings.langBase = kLangEnglish;
    Row("a.bin", "a.bin");
    const auto refusal = [&] {
        const StartCheck check = CheckStart(config, options);
        EXPECT_FALSE(check.job);
        return check.messages.size() == 1 ? check.messages[0].text : std::string("(none)");
    };

    // Rows the load could not take.
    config.files.NoteDropped(std::string(260, 'd') + "/long.bin", AddRowResult::SourceTooLong);
    config.files.NoteDropped("/cfg/row33.bin", AddRowResult::ListFull);
    config.files.NoteDropped("Recent3", RowFault::Missing);
    config.files.NoteDropped("/cfg/row34.bin", AddRowResult::ListFull);
    EXPECT_EQ(refusal(),
              "Rows of the file list were not loaded: long.bin (source path of 255 bytes or "
              "more); row33.bin, row34.bin (over 32 rows); Recent3 (row missing)");
    config.files.Clear();
    Row("a.bin", "a.bin");

    // Two checked rows for one name on the terminal: it would keep the later file only. An
    // unchecked one does not count.
    Row("b.bin", "a.bin");
    EXPECT_EQ(refusal(), "Rows go to the same destination on the terminal: a.bin (a.bin, b.bin)");
    config.files.SetChecked(1, false);
    EXPECT_TRUE(CheckStart(config, options).job);
    config.files.DeleteRow(1);
    // ... as the terminal receives the names, RootDir in front.
    config.settings.rootDir = "/home/";
    Row("c.bin", "/home/a.bin");
    EXPECT_EQ(refusal(),
              "Rows go to the same destination on the terminal: /home/a.bin (a.bin, c.bin)");
    config.files.DeleteRow(1);
    config.settings.rootDir.clear();

    // Serial settings no port takes: every open would fail, and a port with passes to go would be
    // waited for without end. An index outside its list is one the file held (StopBit=55).
    const ControlsModel kept = config.controls;
    config.controls.stopBitIndex = -1;
    config.controls.flowCtrlIndex = -1;
    EXPECT_EQ(refusal(), "Serial settings no port takes, choose them again: StopBit, FlowCtrl");
    config.controls.flowCtrlIndex = 0;
    config.controls.baudRateIndex = -1;
    config.controls.dataBitIndex = 4;  // "4": no UART sends 4-bit characters
    config.controls.stopBitIndex = 1;  // 1.5: with 5-bit characters only
    config.controls.parityIndex = 5;
    EXPECT_EQ(refusal(),
              "Serial settings no port takes, choose them again: BuardRate, DataBit (4), "
              "StopBit (1.5, DataBit 4), ParityBit");
    config.controls.portMode = PortMode::UsbHid;
    EXPECT_TRUE(CheckStart(config, options).job) << "USB-HID has no serial settings";
    config.controls.portMode = PortMode::Single;
    config.controls.baudRateIndex = 12;
    config.controls.parityIndex = 0;
    config.controls.dataBitIndex = 3;  // 5 bits
    EXPECT_TRUE(CheckStart(config, options).job) << "1.5 stop bits with 5-bit characters";
    config.controls = kept;

    config.settings.rootDir = "根\xF0\x9F\x98\x80/";
    EXPECT_EQ(refusal(), "Name has characters GBK cannot carry: RootDir=根\xF0\x9F\x98\x80/");

    // M868 sends RootDir + "file.adr": the compact frame carries 14 bytes of it, the full 50.
    config.controls.modelIndex = 1;
    config.settings.newMachine = false;
    config.settings.rootDir = "abcdefg";
    EXPECT_EQ(refusal(), "Destination name with RootDir longer than 14 bytes: abcdefgfile.adr");
    config.settings.rootDir = "abcdef";
    EXPECT_TRUE(CheckStart(config, options).job);
    config.settings.newMachine = true;
    config.settings.rootDir = std::string(43, 'r');
    EXPECT_NE(refusal().find("longer than 50 bytes"), std::string::npos);
    config.settings.rootDir = std::string(42, 'r');
    EXPECT_TRUE(CheckStart(config, options).job);
    config.controls.modelIndex = 0;
    config.settings.rootDir = std::string(43, 'r');
    EXPECT_TRUE(CheckStart(config, options).job) << "no address file, no such name";
    config.settings.rootDir.clear();

    // COM2 reaches COM1's device through a link (where the system lets a user make one:
    // Windows without developer mode does not).
    config.controls.portMode = PortMode::Multi;
    config.controls.portNumIndex = 0;
    std::ofstream(dir / "tty1").close();
    std::error_code linkError;
    fs::create_symlink(dir / "tty1", dir / "tty2", linkError);
    if (!linkError) {
        EXPECT_EQ(refusal(),
                  "Two ports name the same device: COM1, COM2 = " + (dir / "tty1").string());
    } else {
        std::ofstream(dir / "tty2").close();
    }
    // One port of the two is no conflict, but a file is no serial line.
    config.controls.portMode = PortMode::Single;
    config.controls.portIndex = 1;
    EXPECT_EQ(refusal(), "Not a serial port: COM2 = " + (dir / "tty2").string());
}

TEST(DownloadTexts, StatusTextsAndNamesAsTheTerminalAndOperatorSeeThem) {
    EXPECT_EQ(BlockProgressText("[COM3]", kLangEnglish, "app.bin", 8192, 122000),
              "[COM3]DownLoad..  app.bin(9K/120K)");
    EXPECT_EQ(FileOkText("[COM3]", "app.bin"), "[[COM3]]app.bin...OK");
    EXPECT_EQ(FrameFailureText("[COM3]", kLangEnglish, '4'), "[COM3] File read error4");
    EXPECT_EQ(AddressFileShownName("file.adr"), "file.adr");
    EXPECT_EQ(AddressFileShownName("list.txt"), "list.adr");

    // Names are cut in GBK bytes and never inside a character.
    EXPECT_EQ(WireDestination("abcdefghijklmnopqrst", 14), "abcdefghijklmn");
    EXPECT_EQ(WireDestination("ab名字", 5).size(), 4u) << "the second character would not fit";
    EXPECT_EQ(WireDestination("ab名字", 6).size(), 6u);

    // Every refusal is a text of the string table, in both languages.
    const auto inTable = [](int lang, const std::string& text) {
        const auto ids = AllTextIds();
        return std::any_of(ids.begin(), ids.end(),
                           [&](int id) { return text == TextOf(lang, id); });
    };
    for (const int lang : {kLangChinese, kLangEnglish}) {
        for (int refusal = 0; refusal <= static_cast<int>(StartRefusal::UsbPipeRowMultiPort);
             ++refusal) {
            EXPECT_TRUE(inTable(lang, StartRefusalText(lang, static_cast<StartRefusal>(refusal))))
                << lang << " " << refusal;
        }
        EXPECT_TRUE(inTable(lang, EmptySourceText(lang, "")));
        EXPECT_TRUE(inTable(lang, NameNotGbkText(lang, "")));
        EXPECT_TRUE(inTable(lang, EmptyDestinationText(lang)));
        EXPECT_TRUE(inTable(lang, SerialSettingsText(lang, "")));
    }

    const std::time_t at = 1704438489;  // 2024-01-05 07:08:09 UTC
    EXPECT_EQ(TimerFileText(*std::gmtime(&at)), "20240105070809");
}

}  // namespace
}  // namespace termload
