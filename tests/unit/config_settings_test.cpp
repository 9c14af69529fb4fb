// Loading and saving a configuration: keys, defaults and corrections, the read-only rule,
// files written on Windows, bad input and the per-user store.
#include <gtest/gtest.h>

#include <array>

#include "config/configuration_load.h"
#include "config/file_list.h"
#include "config/last_configuration.h"
#include "config/model_rules.h"
#include "config/paths.h"
#include "config/settings_file.h"
#include "config/text_encoding.h"
#include "config/user_store.h"
#include "config_test_support.h"
#include "engine/source_file.h"

namespace termload {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

struct Loaded {
    Configuration config;
    LoadResult result;
};

Loaded LoadFrom(const ScratchDir& dir, std::string_view bytes, std::string_view name = "t.ini") {
    const std::filesystem::path path = dir / name;
    WriteFile(path, bytes);
    Loaded loaded;
    loaded.result = LoadChosenConfiguration(loaded.config, PathToUtf8(path), dir / "app");
    return loaded;
}

TEST(ConfigSettings, ModelListIsOrderedByKeyAndOneDigitKeysAreNotRead) {
    ScratchDir dir;
    Loaded l = LoadFrom(dir, "[ModeList]\n0A=M868\n3=Ignored\n03=M740-32 KERNEL\nff=Last\n");
    EXPECT_EQ(l.config.settings.modeCodes, (std::vector<std::string>{"03", "0A", "FF"}));
    EXPECT_EQ(l.config.controls.modelItems,
              (std::vector<std::string>{"M740-32 KERNEL", "M868", "Last"}));
    // No "MachMode": the first model, a kernel model here, which forces single-port mode.
    EXPECT_EQ(l.config.controls.modelIndex, 0);
    EXPECT_TRUE(l.config.settings.kernelMode);
    EXPECT_EQ(SelectedModeCode(l.config), "03");

    Loaded empty = LoadFrom(dir, "[ModeList]\n");
    EXPECT_EQ(empty.config.settings.modeCodes, std::vector<std::string>{"05"});
    EXPECT_EQ(empty.config.controls.modelItems, std::vector<std::string>{"M740-32"});
    EXPECT_FALSE(empty.config.settings.kernelMode);
}

TEST(ConfigSettings, DelaysAndAddressGetTheirCorrections) {
    ScratchDir dir;
    Loaded zero = LoadFrom(dir,
                           "[Config]\nUSBDelay=0\nFILE_INTERVAL=-3\nFILE_INTERVAL_=0\nS4KDelay=0\n"
                           "CMDDelay=2000000000\nDownloadAddress=   \n");
    const Settings& s = zero.config.settings;
    EXPECT_EQ(s.pieceDelayMs, 10);
    EXPECT_EQ(s.fileIntervalPer8000BytesMs, 80);
    EXPECT_EQ(s.fileIntervalFixedMs, 80);
    EXPECT_EQ(s.frameDelayMs, 0);
    EXPECT_EQ(s.commandDelayMs, 2000000000);  // used as kMaxDelayMs, kept as written
    EXPECT_EQ(s.downloadAddress, "0x30200000");
    EXPECT_EQ(s.downloadAddressValue, 0x30200000u);

    Loaded odd = LoadFrom(dir, "[Config]\nUSBDelay=-5\nS4KDelay=7\nDownloadAddress= 0x3020 0000\n");
    EXPECT_EQ(odd.config.settings.pieceDelayMs, 10);
    EXPECT_EQ(odd.config.settings.frameDelayMs, 7);
    EXPECT_EQ(odd.config.settings.downloadAddressValue, 0x30200000u);

    // The normalised address is what is written back.
    ASSERT_EQ(SaveSettings(zero.config), SaveStatus::Saved);
    const std::string saved = ReadFile(dir / "t.ini");
    EXPECT_NE(saved.find("DownloadAddress=0x30200000\n"), std::string::npos);
    EXPECT_NE(saved.find("CMDDelay=2000000000\n"), std::string::npos);
}

TEST(ConfigSettings, HexAddressSkipsStrangeCharactersAndStopsAtX) {
    EXPECT_EQ(ParseHexAddress("0x30200000"), 0x30200000u);
    EXPECT_EQ(ParseHexAddress("3020 0000"), 0x30200000u);
    EXPECT_EQ(ParseHexAddress("ab"), 0xABu);
    EXPECT_EQ(ParseHexAddress("12x34"), 0x34u);
    EXPECT_EQ(ParseHexAddress(""), 0u);
    EXPECT_EQ(ParseHexAddress("0x1FFFFFFFF"), 0xFFFFFFFFu);  // modulo 2^32
}

TEST(ConfigSettings, ControlsLanguageAndSwitchesAreRead) {
    ScratchDir dir;
    Loaded l = LoadFrom(dir,
                        "[ModeList]\n01=A\n02=B\n[Config]\nLanguage=1\nMachMode=1\nHardVersion=1A\n"
                        "Port=26\nPortNum=3\nBuardRate=14\nParityBit=4\nFlowCtrl=2\nDataBit=-1\n"
                        "NewMachine=0\nDegugMode=1\nEmptyFlash=0\nTraceLog=2\nDownTimer=1\n"
                        "RootDir=  /app/  \n[AddrCtlol]\nIsUseLogalAddr=1\n");
    const ControlsModel& c = l.config.controls;
    EXPECT_EQ(l.config.settings.langBase, kLangEnglish);
    EXPECT_EQ(ModelText(c), "B");
    EXPECT_EQ(c.hardVersion, "1A");
    EXPECT_EQ(SelectedPortNumber(c), 27);
    EXPECT_EQ(c.portNumIndex, -1);  // outside the items: no selection
    EXPECT_EQ(SelectedBaudRate(c), 256000);
    EXPECT_EQ(c.parityIndex, 4);
    EXPECT_EQ(ParityItems(l.config.settings.langBase)[4], "Space");
    EXPECT_EQ(c.flowCtrlIndex, 2);
    EXPECT_EQ(c.dataBitIndex, -1);
    EXPECT_EQ(SelectedDataBits(c), 0);
    ControlsModel fourth;
    fourth.dataBitIndex = 4;
    EXPECT_EQ(SelectedDataBits(fourth), 4);
    const Settings& s = l.config.settings;
    EXPECT_FALSE(s.newMachine);
    EXPECT_TRUE(s.debugMode);
    EXPECT_FALSE(s.emptyFlash);
    EXPECT_TRUE(s.traceLog);
    EXPECT_TRUE(s.sendTimerFile);
    EXPECT_EQ(s.rootDir, "/app/");
    EXPECT_EQ(s.useLocalAddressFile, 1);
    EXPECT_EQ(s.userAddrFileName, "UserAddrFile.ini");

    // A configuration without "Language" is Chinese again.
    Loaded again = LoadFrom(dir, "[Config]\nPort=1\n");
    EXPECT_EQ(again.config.settings.langBase, kLangChinese);
    EXPECT_EQ(again.config.controls.hardVersion, "10");
    EXPECT_EQ(again.config.controls.baudRateIndex, 12);
    // The version field's two characters, without a blank between them and the rest.
    EXPECT_EQ(LoadFrom(dir, "[Config]\nHardVersion=7 8\n").config.controls.hardVersion, "7");
}

TEST(ConfigSettings, SaveWritesOnlyWritableKeysAndKeepsEverythingElse) {
    ScratchDir dir;
    const std::string original =
        "; Line three configuration\n\n[Config]\nLanguage=1\n; the bench port\nPort=2\n"
        "NewMachine=0\nVendorKey=kept\nRootDir=/r/\n[Vendor]\nx=1\n[AddrCtlol]\n"
        "IsUseLogalAddr=0\n; end of file\n";
    Loaded l = LoadFrom(dir, original);
    l.config.controls.portIndex = 5;
    l.config.settings.newMachine = true;
    l.config.settings.rootDir = "/changed/";
    l.config.settings.useLocalAddressFile = 1;
    l.config.settings.english = false;
    // Every written setting a value of its own, so that a key written from another field shows.
    Settings& s = l.config.settings;
    s.pieceDelayMs = 11;
    s.frameDelayMs = 12;
    s.fileIntervalPer8000BytesMs = 13;
    s.fileIntervalFixedMs = 14;
    s.commandDelayMs = 15;
    s.emptyFlash = false;
    s.debugMode = true;
    s.traceLog = true;
    s.sendTimerFile = true;
    s.downloadAddress = "0x1000";
    s.configFileRow = 2;
    ASSERT_EQ(SaveSettings(l.config), SaveStatus::Saved);
    const std::string saved = ReadFile(dir / "t.ini");
    for (const char* kept :
         {"; Line three configuration", "; the bench port\nPort=5\n", "Language=1\n",
          "NewMachine=0\n", "VendorKey=kept\n", "RootDir=/r/\n", "[Vendor]\nx=1\n",
          "IsUseLogalAddr=0\n", "; end of file\n", "ModeList]\n05=M740-32\n", "RecentCount=0\n"}) {
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n" << saved;
    }
    EXPECT_LT(saved.find("Port=5"), saved.find("VendorKey"));
    EXPECT_LT(saved.find("[Config]"), saved.find("[Vendor]"));

    // Read back, it gives what was saved.
    Loaded back = LoadFrom(dir, saved, "back.ini");
    EXPECT_EQ(back.config.controls, l.config.controls);
    Settings expected = s;  // but for the keys that are only read: the file keeps its own
    expected.english = true;
    expected.langBase = kLangEnglish;
    expected.newMachine = false;
    expected.rootDir = "/r/";
    expected.useLocalAddressFile = 0;
    expected.downloadAddressValue = 0x1000;
    EXPECT_TRUE(back.config.settings == expected);
}

// The configuration's own row (DOWNCONF) is stored as the list's first row and merges with the
// row the loading adds next time: saved again and again, the file neither gains a row nor loses
// the ones refused at load.
TEST(ConfigSettings, SavesOfAListWithTheConfigurationsOwnRowAreStable) {
    ScratchDir dir;
    Loaded l = LoadFrom(dir,
                        "[Config]\nDOWNCONF=1\n[History]\nRecentCount=3\n"
                        "Recent0=1;a.bin;a.bin\nRecent2=1;c.bin\n");
    ASSERT_EQ(l.config.files.Size(), 2u);
    const auto faults = [](const FileList& files) {
        std::vector<RowFault> list;
        for (const DroppedRow& row : files.Dropped()) {
            list.push_back(row.fault);
        }
        return list;
    };
    const std::vector<RowFault> refused = {RowFault::Missing, RowFault::NoDestination};
    ASSERT_EQ(faults(l.config.files), refused);
    ASSERT_EQ(SaveSettings(l.config), SaveStatus::Saved);
    const std::string saved = ReadFile(dir / "t.ini");
    Loaded again = LoadFrom(dir, saved);
    EXPECT_EQ(again.config.files.Rows(), l.config.files.Rows());
    EXPECT_EQ(faults(again.config.files), refused);
    ASSERT_EQ(SaveSettings(again.config), SaveStatus::Saved);
    EXPECT_EQ(ReadFile(dir / "t.ini"), saved);
}

TEST(ConfigSettings, ReadOnlyOrMissingFileIsNeverWritten) {
    ScratchDir dir;
    const std::string original = "[Config]\r\nPort=2\r\n";
    Loaded l = LoadFrom(dir, original);
    // No write bits: the read-only attribute on Windows.
    using std::filesystem::perms;
    std::filesystem::permissions(dir / "t.ini",
                                 perms::owner_read | perms::group_read | perms::others_read);
    l.config.controls.portIndex = 9;
    EXPECT_EQ(SaveSettings(l.config), SaveStatus::ReadOnly);
    EXPECT_EQ(ReadFile(dir / "t.ini"), original);

    std::filesystem::permissions(dir / "t.ini", perms::owner_write,
                                 std::filesystem::perm_options::add);
    std::filesystem::remove(dir / "t.ini");
    EXPECT_EQ(SaveSettings(l.config), SaveStatus::NoFile);
    EXPECT_FALSE(std::filesystem::exists(dir / "t.ini"));
}

TEST(ConfigSettings, WindowsConfigurationInGbkWithCrlfRoundTrips) {
    ScratchDir dir;
    // "测试机" and "配置" in code page 936, backslash paths, CRLF line ends.
    const std::string ceShiJi = "\xB2\xE2\xCA\xD4\xBB\xFA";
    const std::string peiZhi = "\xC5\xE4\xD6\xC3";
    const std::string original = "; " + peiZhi + "\r\n\r\n[ModeList]\r\n01=" + ceShiJi +
                                 "\r\n[Config]\r\nPort=2\r\nDegugMode=1\r\nNote=" + peiZhi +
                                 "\r\n[History]\r\nRecentCount=1\r\nRecent0=1;app.bin;" + ceShiJi +
                                 ".bin\r\n[Path]\r\nPath0=sub\\dir\\app.bin\r\n";
    Loaded l = LoadFrom(dir, original);
    EXPECT_EQ(l.config.controls.modelItems, std::vector<std::string>{"测试机"});
    ASSERT_EQ(l.config.files.Size(), 1u);
    EXPECT_EQ(l.config.files.Rows()[0].entry,
              "1;" + NativePath("sub\\dir\\app.bin") + ";测试机.bin");

    l.config.controls.portIndex = 4;
    ASSERT_EQ(SaveSettings(l.config), SaveStatus::Saved);
    const std::string saved = ReadFile(dir / "t.ini");
    EXPECT_FALSE(IsValidUtf8(saved));
    for (const std::string& kept : {"; " + peiZhi, "01=" + ceShiJi, std::string("Port=4"),
                                    "Note=" + peiZhi, "Recent0=1;app.bin;" + ceShiJi + ".bin"}) {
        EXPECT_NE(saved.find(kept + "\r\n"), std::string::npos) << kept;
    }
    for (std::size_t pos = saved.find('\n'); pos != std::string::npos;
         pos = saved.find('\n', pos + 1)) {
        ASSERT_EQ(saved[pos - 1], '\r') << "bare LF at " << pos;
    }
}

// As the Windows program leaves it: every key it writes, GBK, CRLF, a Chinese model, and a
// Chinese file in a Chinese directory. Names are UTF-8 in the program and must reach the file
// system intact on both systems.
TEST(ConfigSettings, WindowsConfigurationWithChineseNamesSavedUnchangedIsByteIdentical) {
    ScratchDir dir;
    const std::filesystem::path folder = dir.Path() / PathFromUtf8("产线");
    std::filesystem::create_directories(folder);
    const std::string source = JoinPath(PathToUtf8(folder), "程序.bin");
    WriteFile(PathFromUtf8(source), "\x01\x02payload\xFF");
    const std::string original = Utf8ToGbk(
        "; 三号线\r\n[ModeList]\r\n01=测试机\r\n\r\n[Config]\r\nLanguage=0\r\nMachMode=0\r\n"
        "HardVersion=10\r\nPort=2\r\nPortNum=0\r\nBuardRate=12\r\nDataBit=0\r\nStopBit=0\r\n"
        "ParityBit=0\r\nFlowCtrl=0\r\nUSBDelay=10\r\nS4KDelay=1\r\nFILE_INTERVAL=80\r\n"
        "FILE_INTERVAL_=80\r\nCMDDelay=1000\r\nEmptyFlash=1\r\nDegugMode=0\r\nTraceLog=0\r\n"
        "DownTimer=0\r\nDownloadAddress=0x30200000\r\nDOWNCONF=0\r\n\r\n[History]\r\n"
        "RecentCount=1\r\nRecent0=1;程序.bin;程序.bin\r\n\r\n[Path]\r\nPath0=" +
        source + "\r\n");
    ASSERT_FALSE(IsValidUtf8(original));
    const std::filesystem::path file = folder / PathFromUtf8("配置.ini");
    WriteFile(file, original);

    Configuration config;
    const LoadResult result = LoadChosenConfiguration(config, PathToUtf8(file), dir.Path() / "app");
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(config.baseDir, PathToUtf8(folder));
    EXPECT_EQ(config.controls.modelItems, std::vector<std::string>{"测试机"});
    ASSERT_EQ(config.files.Size(), 1u);
    const auto entry = DecodeFileEntry(config.files.Rows()[0].entry);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->sourcePath, source);
    EXPECT_EQ(entry->destinationName, "程序.bin");

    ASSERT_EQ(SaveSettings(config), SaveStatus::Saved);
    EXPECT_EQ(ReadFile(file), original);

    // The row's file, as the download opens it.
    SourceFile opened(PathFromUtf8(NativePath(entry->sourcePath)));
    ASSERT_TRUE(opened.IsOpen());
    EXPECT_EQ(opened.Size(), 10);
    std::array<std::uint8_t, 16> bytes{};
    ASSERT_EQ(opened.ReadAt(2, bytes), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "payload\xFF");
}

TEST(ConfigSettings, BadFilesGiveTheDefaultsAndAreNotDestroyed) {
    ScratchDir dir;
    Configuration defaults;
    Loaded empty = LoadFrom(dir, "");
    EXPECT_EQ(empty.result.status, LoadStatus::Loaded);
    EXPECT_TRUE(empty.result.messages.empty());
    defaults.settings.modeCodes = {"05"};
    defaults.settings.userAddrFileName = "UserAddrFile.ini";
    EXPECT_EQ(empty.config.settings, defaults.settings);
    EXPECT_EQ(empty.config.controls.hardVersion, "10");

    Loaded truncated = LoadFrom(dir, "[Config]\nUSBDelay=5\nS4KDel");
    EXPECT_EQ(truncated.config.settings.pieceDelayMs, 5);
    EXPECT_EQ(truncated.config.settings.frameDelayMs, 1);

    const std::string binary = test::PatternBytes(4096, 1);
    Loaded garbage = LoadFrom(dir, binary, "binary.ini");
    EXPECT_EQ(SaveSettings(garbage.config), SaveStatus::NotText);
    EXPECT_EQ(ReadFile(dir / "binary.ini"), binary);

    Loaded huge =
        LoadFrom(dir, "[Config]\nUSBDelay=99999999999\nHardVersion=" + std::string(10000, '7') +
                          "\nRootDir=" + std::string(5000, 'r') + "\nPort=0x2\n");
    EXPECT_EQ(huge.config.settings.pieceDelayMs, 10);
    EXPECT_EQ(huge.config.controls.hardVersion, "77");
    EXPECT_EQ(huge.config.settings.rootDir.size(), 2047u);
    EXPECT_EQ(huge.config.controls.portIndex, 2);

    const std::string oversized = "[Config]\n;" + std::string(5u << 20, 'x') + "\nPort=3\n";
    Loaded tooLarge = LoadFrom(dir, oversized, "large.ini");
    EXPECT_EQ(tooLarge.config.controls.portIndex, 0);
    ASSERT_EQ(tooLarge.result.messages.size(), 1u);
    EXPECT_EQ(tooLarge.result.messages[0].kind, PromptKind::Error);
    EXPECT_EQ(SaveSettings(tooLarge.config), SaveStatus::Failed);
    EXPECT_EQ(ReadFile(dir / "large.ini").size(), oversized.size());
}

TEST(ConfigSettings, AbsurdRowCountsAndLongPathsAreBounded) {
    ScratchDir dir;
    std::string rows = "[History]\nRecentCount=1000000\n";
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        rows += "Recent" + std::to_string(i) + "=1;" + name + ";" + name + "\n";
    }
    rows += "Recent40=1;" + std::string(300, 'n') + ";long\n";
    Loaded l = LoadFrom(dir, rows);
    EXPECT_EQ(l.config.files.Size(), kMaxFileRows);
    ASSERT_EQ(l.result.messages.size(), 1u);
    EXPECT_EQ(l.result.messages[0].text, TextOf(kLangChinese, 53));

    Loaded longPath =
        LoadFrom(dir, "[History]\nRecentCount=1\nRecent0=1;" + std::string(300, 'n') + ";long\n");
    EXPECT_EQ(longPath.config.files.Size(), 0u);
    ASSERT_EQ(longPath.result.messages.size(), 1u);
    EXPECT_EQ(longPath.result.messages[0].kind, PromptKind::Warning);
}

TEST(ConfigSettings, DownConfPutsTheConfigurationFirstAndKeepsItChecked) {
    ScratchDir dir;
    Loaded l = LoadFrom(dir,
                        "[Config]\nDOWNCONF=1\n[History]\nRecentCount=2\n"
                        "Recent0=1;t.ini;app.ini\nRecent1=1;a.bin;a.bin\n");
    ASSERT_EQ(l.config.files.Size(), 2u);
    EXPECT_EQ(l.config.files.Rows()[0].entry, "1;" + (dir / "t.ini").string() + ";app.ini");
    EXPECT_EQ(l.config.files.Rows()[1].entry, "1;" + (dir / "a.bin").string() + ";a.bin");
    l.config.files.SetChecked(0, false);
    l.config.files.SetChecked(1, false);
    const FileListCheck check = CheckFileListForStart(
        l.config.files, l.config.settings.configFileRow, l.config.controls.modelIndex >= 0);
    EXPECT_TRUE(check.checkFirstRow);
    EXPECT_TRUE(check.startEnabled);
}

TEST(ConfigSettings, MissingConfigurationCreatesTheDefaultButNeverEmptiesOne) {
    ScratchDir dir;
    Configuration config;
    config.controls.portIndex = 6;
    config.settings.english = true;
    config.settings.langBase = kLangEnglish;
    LoadResult result = LoadConfiguration(config, (dir / "gone.ini").string(), dir / "app");
    EXPECT_EQ(result.status, LoadStatus::CreatedDefault);
    EXPECT_EQ(config.configPath, (dir / "app" / "Config.ini").string());
    EXPECT_EQ(config.baseDir, (dir / "app").string());
    EXPECT_EQ(ReadFile(dir / "app" / "Config.ini"), "");
    EXPECT_EQ(config.controls.portIndex, 6);  // nothing was read
    // ... but the empty file reads in Chinese, as any file without "Language".
    EXPECT_FALSE(config.settings.english);
    EXPECT_EQ(config.settings.langBase, kLangChinese);

    // Next time the default exists: it is loaded, not emptied.
    WriteFile(dir / "app" / "Config.ini", "[Config]\nPort=3\n");
    Configuration next;
    result = LoadConfiguration(next, "", dir / "app");
    EXPECT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(next.controls.portIndex, 3);
    EXPECT_EQ(ReadFile(dir / "app" / "Config.ini"), "[Config]\nPort=3\n");

    WriteFile(dir / "blocker", "a file where a directory should be");
    result = LoadConfiguration(next, "", dir / "blocker" / "app");
    EXPECT_EQ(result.status, LoadStatus::CreateFailed);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].text, "Create Config file failed! ");
}

TEST(ConfigSettings, UserStoreKeepsLastConfigurationBesideThePortTable) {
    ScratchDir dir;
    const std::filesystem::path store = dir / "store" / "termload.ini";
    EXPECT_TRUE(ReadPortsSection(store).empty());
    EXPECT_EQ(ReadLastConfiguration(store).configPath, "");

    WriteFile(dir / "ports.ini",
              "[Ports]\ncom3=/dev/pts/4\nCOM27 = /dev/ttyUSB0 \nCOM0=/dev/x\nCOMx=/dev/y\n"
              "COM256=/dev/z\nCOM5=\nOther=1\n");
    const auto ports = ReadPortsSection(dir / "ports.ini");
    EXPECT_EQ(ports, (std::map<int, std::string>{{3, "/dev/pts/4"}, {27, "/dev/ttyUSB0"}}));

    std::filesystem::create_directories(store.parent_path());
    WriteFile(store, "[Ports]\nCOM1=/dev/pts/9\n");
    ASSERT_TRUE(WriteLastConfiguration({"/cfg/line.ini", "/cfg"}, store));
    const LastConfiguration last = ReadLastConfiguration(store);
    EXPECT_EQ(last.configPath, "/cfg/line.ini");
    EXPECT_EQ(last.baseDir, "/cfg");
    EXPECT_EQ(ReadPortsSection(store).at(1), "/dev/pts/9");
    EXPECT_TRUE(WriteLastConfiguration({"/a.ini", "/"}, dir / "new" / "deeper" / "store.ini"));
}

// On Windows the values live in the registry as wide strings (a test run puts the user's own
// back); elsewhere in the store. The program's UTF-8 comes back whole on both.
TEST(ConfigSettings, UserLastConfigurationKeepsChineseNames) {
    ScratchDir dir;
    const std::filesystem::path store = dir / "store" / "termload.ini";
    const LastConfiguration before = LoadUserLastConfiguration(store);
    const LastConfiguration chinese{"C:\\产线\\配置.ini", "C:\\产线"};
    ASSERT_TRUE(SaveUserLastConfiguration(chinese, store));
    const LastConfiguration back = LoadUserLastConfiguration(store);
    EXPECT_EQ(back.configPath, chinese.configPath);
    EXPECT_EQ(back.baseDir, chinese.baseDir);
    EXPECT_TRUE(SaveUserLastConfiguration(before, store));
}

}  // namespace
}  // namespace termload
