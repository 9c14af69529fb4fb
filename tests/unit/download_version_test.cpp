// The file-version read: the terminal's reply, the local version list, the comparison and what
// it does to the file rows; the CCID exchange over a stand-in for PC/SC.
#include <gtest/gtest.h>

#include <numeric>

#include "channels/ccid_reader.h"
#include "config/string_table.h"
#include "engine/version_exchange.h"
#include "engine/version_read.h"
#include "support/fake_pcsc.h"
#include "support/files.h"

namespace termload {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Appends the sum of bytes 3 up to the end.
void Seal(Bytes& reply) {
    reply.push_back(static_cast<std::uint8_t>(std::accumulate(reply.begin() + 3, reply.end(), 0u)));
}

// The same reply with its sum made right again after a test changed its bytes.
Bytes Resealed(Bytes reply) {
    reply.pop_back();
    Seal(reply);
    return reply;
}

// A reply as a terminal frames it: header, length of bytes 8 up to the 03, four status bytes,
// the items, 03 and the sum from byte 3.
Bytes Reply(const std::vector<std::pair<int, std::string>>& items) {
    Bytes reply = {0x01, 0x01, 0x01, 0x01, 0x15, 0xDC, 0, 0, 0x01, 0x10, 0x10, 0x18};
    for (const auto& [type, version] : items) {
        reply.push_back(static_cast<std::uint8_t>(type));
        reply.push_back(static_cast<std::uint8_t>(version.size()));
        reply.insert(reply.end(), version.begin(), version.end());
    }
    const std::size_t length = reply.size() - 8;
    reply[6] = static_cast<std::uint8_t>(length >> 8);
    reply[7] = static_cast<std::uint8_t>(length);
    reply.push_back(0x03);
    Seal(reply);
    return reply;
}

VersionRecord Terminal(int type, const std::string& version) {
    return VersionRecord{type, "", version, 1};
}

TEST(VersionReply, ItemsAreReadOnlyFromWhatCameAndWhatTheLengthCovers) {
    EXPECT_EQ(ParseVersionReply(Reply({{0, "B001"}, {-1, "X"}, {7, "SDK-1.105"}})),
              (VersionList{Terminal(0, "B001"), Terminal(-1, "X"), Terminal(7, "SDK-1.105")}));

    const Bytes good = Reply({{0, "B001"}});
    EXPECT_TRUE(ParseVersionReply(std::span(good).first(6)).empty()) << "six bytes";
    Bytes wrong = good;
    wrong.back() ^= 1;
    EXPECT_TRUE(ParseVersionReply(wrong).empty()) << "sum";
    wrong = good;
    wrong[5] = 0xDD;
    EXPECT_TRUE(ParseVersionReply(Resealed(wrong)).empty()) << "header";

    // A length field larger than what came: the items stop at the last whole one.
    Bytes cut = Reply({{0, "B001"}, {1, "C105"}});
    cut.erase(cut.end() - 5, cut.end() - 2);  // "105" of the second item
    cut[7] += 20;
    EXPECT_EQ(ParseVersionReply(Resealed(cut)), VersionList{Terminal(0, "B001")});

    // A length byte above 127 ends the list; a length field of 5 or less holds no item.
    Bytes negative = Reply({{0, "B001"}, {1, "C105"}});
    negative[12 + 6 + 1] = 0x84;
    EXPECT_EQ(ParseVersionReply(Resealed(negative)), VersionList{Terminal(0, "B001")});
    Bytes shortLength = Reply({{0, "B001"}});
    shortLength[7] = 5;
    EXPECT_TRUE(ParseVersionReply(Resealed(shortLength)).empty());

    // A terminal that greets its port: banner text around the reply, the request echoed before
    // it, a broken reply before a good one. Only the reply's own bytes are read.
    const std::string banner = "\r\nTS boot loader\r\n\\>";
    const Bytes two = Reply({{0, "B001"}, {7, "S105"}});
    Bytes greeted(banner.begin(), banner.end());
    greeted.insert(greeted.end(), kVersionRequest.begin(), kVersionRequest.end());
    Bytes broken = Reply({{3, "X999"}});
    broken.back() ^= 1;
    greeted.insert(greeted.end(), broken.begin(), broken.end());
    greeted.insert(greeted.end(), two.begin(), two.end());
    const Bytes after = Reply({{1, "C001"}});  // a second reply, past the first one's end
    greeted.insert(greeted.end(), after.begin(), after.end());
    greeted.insert(greeted.end(), banner.begin(), banner.end());
    EXPECT_EQ(ParseVersionReply(greeted), (VersionList{Terminal(0, "B001"), Terminal(7, "S105")}));
    // The closing 03 belongs to the frame: without it only a sum byte at the very end counts.
    Bytes unclosed = two;
    unclosed[unclosed.size() - 2] = 0x04;
    unclosed = Resealed(unclosed);
    unclosed.push_back('>');
    EXPECT_TRUE(ParseVersionReply(unclosed).empty()) << "no closing 03";
    unclosed.pop_back();
    EXPECT_EQ(ParseVersionReply(unclosed), (VersionList{Terminal(0, "B001"), Terminal(7, "S105")}))
        << "its sum last";
}

TEST(LocalVersions, LinesWithTwoSemicolonsAndADecimalType) {
    const VersionList local = ParseLocalVersions(
        "0;boot;B002\r\n"
        "no semicolons\n"
        "1;only one\n"
        "x;name;V001\n"           // no type
        "99999999999;big;V001\n"  // no 32-bit type
        "\n"
        " 2;telpay;T;1.003\r\n"  // the version is the rest of the line
        "7;sdk;S010");           // the last line needs no line feed
    EXPECT_EQ(
        local,
        (VersionList{{0, "boot", "B002", 1}, {2, "telpay", "T;1.003", 1}, {7, "sdk", "S010", 1}}));

    test::ScratchDir dir("versions");
    EXPECT_TRUE(ReadLocalVersions(dir / "missing.ini").empty());
    EXPECT_EQ(ReadLocalVersions(dir.Write("UserLoacaVersion.ini", "4;logo;L7\n")),
              (VersionList{{4, "logo", "L7", 1}}));
}

class VersionRows : public ::testing::Test {
  protected:
    void Row(const std::string& destination, bool checked = true) {
        rows.push_back({"1;" + destination + ";" + destination, destination, checked});
    }
    std::vector<VersionRowVerdict> Decide(VersionList local, const VersionList& terminal,
                                          int langBase = kLangEnglish) {
        CompareVersions(terminal, local);
        return DecideVersionRows(rows, local, langBase);
    }

    std::vector<FileRow> rows;
};

TEST_F(VersionRows, TerminalVersionAgainstTheLocalList) {
    Row("boot.bin");
    Row("sdk.bin");
    Row("file.adr");
    Row("core.bin", false);  // not looked at

    // The terminal's B001 is older than the local B002: boot.bin goes.
    auto verdicts = Decide({{0, "boot", "B002", 1}}, {Terminal(0, "B001")});
    ASSERT_EQ(verdicts.size(), 3u);
    EXPECT_FALSE(verdicts[0].uncheck);
    EXPECT_FALSE(verdicts[1].uncheck) << "type 7 always goes";
    EXPECT_TRUE(verdicts[2].uncheck);
    EXPECT_EQ(verdicts[2].prompt, "");

    // The same version: unchecked, with its box.
    verdicts = Decide({{0, "boot", "B001", 1}}, {Terminal(0, "B001")});
    EXPECT_TRUE(verdicts[0].uncheck);
    EXPECT_EQ(verdicts[0].prompt, "Source file: boot.bin is too low");
    EXPECT_EQ(Decide({{0, "boot", "B001", 1}}, {Terminal(0, "A999")}, kLangChinese)[0].prompt,
              "源文件: boot.bin 版本过低");

    // Only the last three characters count, and only when they are digits; the first terminal
    // record of a type decides.
    EXPECT_FALSE(
        Decide({{0, "boot", "9.010", 1}}, {Terminal(0, "1.009"), Terminal(0, "2.500")})[0].uncheck);
    EXPECT_FALSE(Decide({{0, "boot", "B001", 1}}, {Terminal(0, "B00x")})[0].uncheck);
    EXPECT_FALSE(Decide({{0, "boot", "Bxyz", 1}}, {Terminal(0, "B999")})[0].uncheck);
    EXPECT_TRUE(Decide({{0, "boot", "7", 1}}, {Terminal(0, "07")})[0].uncheck);

    // Without a terminal answer the local list alone decides; a type it does not list, and a
    // name in no row of the type table, are unchecked with the box.
    EXPECT_FALSE(Decide({{0, "boot", "B002", 1}}, {})[0].uncheck);
    rows.clear();
    Row("telpay.bin");
    Row("unknown.dat");
    verdicts = Decide({{0, "boot", "B002", 1}}, {Terminal(2, "T001")});
    EXPECT_EQ(verdicts[0].prompt, "Source file: telpay.bin is too low");
    EXPECT_EQ(verdicts[1].prompt, "Source file: unknown.dat is too low");
}

TEST_F(VersionRows, ReadChecksAllRowsAndAsksTheTerminalExceptInMultiPortMode) {
    test::ScratchDir dir("versions");
    const auto localFile = dir.Write("UserLoacaVersion.ini", "0;boot;B002\n1;core;C003\n");
    Row("boot.bin");
    Row("core.bin", false);
    int asked = 0;
    const VersionExchange exchange = [&asked] {
        ++asked;
        return VersionExchangeResult{true, Reply({{1, "C003"}})};
    };

    VersionReadOutcome outcome = ReadFileVersions(true, exchange, localFile, rows, kLangEnglish);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(outcome.checkedAllFirst);
    ASSERT_EQ(outcome.verdicts.size(), 1u) << "only the checked row";
    EXPECT_FALSE(outcome.verdicts[0].uncheck);

    outcome = ReadFileVersions(false, exchange, localFile, rows, kLangEnglish);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(outcome.checkedAllFirst);
    ASSERT_EQ(outcome.verdicts.size(), 2u);
    EXPECT_FALSE(outcome.verdicts[0].uncheck);
    EXPECT_EQ(outcome.verdicts[1].prompt, "Source file: core.bin is too low");

    outcome = ReadFileVersions(
        false, [] { return VersionExchangeResult{}; }, localFile, rows, kLangEnglish);
    EXPECT_TRUE(outcome.openFailed);
    EXPECT_TRUE(outcome.verdicts.empty());
}

// The stand-in resource manager, also noting how much room the version request's reply had.
struct RoomPcsc : test::FakePcsc {
    long Control(uintptr_t card, uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                 size_t& returned) override {
        room = out.size();
        return FakePcsc::Control(card, code, in, out, returned);
    }
    std::size_t room = 0;
};

TEST(VersionExchange, CcidAsksOnceWithTheWholeReplyBufferAndEndsTheConnection) {
    EXPECT_FALSE(CcidVersionExchange(nullptr).opened);

    auto api = std::make_unique<RoomPcsc>();
    RoomPcsc& pcsc = *api;
    pcsc.script.push_back({0, Reply({{0, "B001"}})});
    CcidReader reader(std::move(api));
    EXPECT_FALSE(CcidVersionExchange(&reader).opened) << "not connected";
    ASSERT_TRUE(reader.Connect("R"));

    const VersionExchangeResult result = CcidVersionExchange(&reader);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(ParseVersionReply(result.reply), VersionList{Terminal(0, "B001")});
    ASSERT_EQ(pcsc.Calls().size(), 1u);
    EXPECT_EQ(pcsc.Calls()[0].request, Bytes(kVersionRequest.begin(), kVersionRequest.end()));
    EXPECT_EQ(pcsc.room, 4174u);
    EXPECT_FALSE(reader.connected());
    EXPECT_EQ(pcsc.disconnects, pcsc.connects);
}

}  // namespace
}  // namespace termload
