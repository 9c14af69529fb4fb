// The address file for M868 terminals, its built-in tables and the user address file.
#include <gtest/gtest.h>

#include "config/address_file.h"
#include "config/user_addr_file.h"
#include "config_test_support.h"

namespace termload {
namespace {

using testing::ReadFile;
using testing::ScratchDir;
using testing::WriteFile;

std::string BuildFor(std::vector<std::string> names, int isUseLogalAddr = 0,
                     const UserAddressTable& table = {}) {
    return BuildAddressText(names, isUseLogalAddr, table);
}

TEST(ConfigAddressFile, TelpayEntryIsExactlyTheEightyFourBytes) {
    const std::string expected =
        "[ADDR]\r\r\nName=telpay.bin\r\r\nStartAddr=0x0003b000\r\r\nEndAddr=0x0003b000\r\r\n"
        "App=telpay\r\r\n";
    ASSERT_EQ(expected.size(), 84u);
    EXPECT_EQ(BuildFor({"telpay.bin"}), expected);
    EXPECT_EQ(BuildFor({}), "");
}

TEST(ConfigAddressFile, AddressesComeFromExactlyOneTable) {
    // Case matters: no addresses and no "App=" line.
    EXPECT_EQ(BuildFor({"TELPAY.BIN"}),
              "[ADDR]\r\r\nName=TELPAY.BIN\r\r\nStartAddr=\r\r\nEndAddr=\r\r\n");
    // An empty application mark is no application.
    EXPECT_EQ(
        BuildFor({"M31App.bin"}),
        "[ADDR]\r\r\nName=M31App.bin\r\r\nStartAddr=0x00080000\r\r\nEndAddr=0x00080000\r\r\n");
    // The digits keep their letter case.
    EXPECT_NE(BuildFor({"spiflash_src.ini", "file.bin"}).find("0x103D0000\r\r\nEndAddr=0x103D0000"),
              std::string::npos);
    EXPECT_NE(BuildFor({"file.bin"}).find("StartAddr=0x101a0000"), std::string::npos);

    // With the user table in use, the built-in map is not consulted.
    const UserAddressTable table = {{"app.bin", "0x100", "0x1FF"}, {"app.bin", "0x2", "0x3"}};
    EXPECT_EQ(BuildFor({"app.bin", "phone.bin"}, 1, table),
              "[ADDR]\r\r\nName=app.bin\r\r\nStartAddr=0x100\r\r\nEndAddr=0x1FF\r\r\n"
              "[ADDR]\r\r\nName=phone.bin\r\r\nStartAddr=\r\r\nEndAddr=\r\r\n");
    EXPECT_NE(BuildFor({"phone.bin"}, 0, table).find("0x20080000"), std::string::npos);
}

TEST(ConfigAddressFile, FileTypesAndNameList) {
    EXPECT_EQ(FileTypeOf("qtv.pk"), 4);
    EXPECT_EQ(FileTypeOf("boot.bin"), 0);
    EXPECT_EQ(FileTypeOf("telpay.bin"), 2);
    EXPECT_EQ(FileTypeOf("paramcfg.ini"), 4);
    EXPECT_EQ(FileTypeOf("unknown.bin"), -1);
    EXPECT_EQ(ModelMemoryMap().size(), 19u);
    EXPECT_EQ(FileTypeTable().size(), 22u);
    for (const MemoryMapRow& row : ModelMemoryMap()) {
        EXPECT_EQ(row.startAddr, row.endAddr) << row.name;
    }
    const std::vector<std::string> checked = {"qtv.pk", "telpay.bin", "boot.bin", "core.bin",
                                              "Boot.bin"};
    EXPECT_EQ(AddressFileNames(checked), (std::vector<std::string>{"telpay.bin", "Boot.bin"}));
}

TEST(ConfigAddressFile, LongNameListIsCutAtAWholeEntry) {
    std::vector<std::string> names;
    for (int i = 0; i < 32; ++i) {
        // Names of equal length, 163 bytes an entry.
        names.push_back(std::string(120, static_cast<char>('a' + i % 26)) + std::to_string(10 + i));
    }
    const std::string text = BuildFor(names);
    EXPECT_LE(text.size(), kAddressTextMax);
    EXPECT_TRUE(text.ends_with("EndAddr=\r\r\n"));
    const std::size_t entrySize = BuildFor({names[0]}).size();
    EXPECT_EQ(text.size() % entrySize, 0u);
    EXPECT_GT(text.size() + entrySize, kAddressTextMax);
}

TEST(ConfigAddressFile, TraceCopyIsWrittenWhenAskedAndItsFailureIgnored) {
    ScratchDir dir;
    const std::vector<std::string> names = {"telpay.bin"};
    const std::string text = BuildAddressText(names, 0, {}, dir.Path());
    EXPECT_EQ(ReadFile(dir / "file.adr"), text);
    EXPECT_EQ(BuildAddressText(names, 0, {}, dir / "missing" / "dir"), text);
}

TEST(ConfigUserAddrFile, GroupsOfFourLinesWithValuesAfterTheFirstEquals) {
    ScratchDir dir;
    UserAddressTable table = {{"stale", "1", "2"}};
    EXPECT_FALSE(ReadUserAddrFile(dir / "UserAddrFile.ini", table));
    EXPECT_TRUE(table.empty());

    // Nine lines: two whole groups and one extra line. CR line ends are no part of values.
    WriteFile(dir / "UserAddrFile.ini",
              "[ADDR]\r\nName=app.bin\r\nStartAddr=0x100=1\r\nEndAddr=0x200\r\n"
              "[ADDR]\r\nsdk.bin\r\nS=0x300\r\nE=0x400\r\n[ADDR]\r\n");
    EXPECT_TRUE(ReadUserAddrFile(dir / "UserAddrFile.ini", table));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].name, "app.bin");
    EXPECT_EQ(table[0].startAddr, "0x100=1");
    EXPECT_EQ(table[0].endAddr, "0x200");
    EXPECT_EQ(table[1].name, "sdk.bin");
    EXPECT_EQ(table[1].startAddr, "0x300");

    // Values are cut to their fields; a group with an empty value is dropped.
    ParseUserAddrText(
        "h\nName=" + std::string(30, 'n') + "\nS=0x12345678901234567\nE=1\nh\nName=x\nS=\nE=1\n",
        table);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].name, std::string(kUserAddrNameMax, 'n'));
    EXPECT_EQ(table[0].startAddr, "0x123456789012");

    WriteFile(dir / "UserAddrFile.ini", std::string(2u << 20, 'x'));
    EXPECT_FALSE(ReadUserAddrFile(dir / "UserAddrFile.ini", table));
    EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace termload
