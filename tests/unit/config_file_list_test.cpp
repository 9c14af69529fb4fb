// File list rows: entries, row texts, the add rules, the start-button check, and the
// "History"/"Path" sections.
#include <gtest/gtest.h>

#include "config/file_list.h"
#include "config/ini_document.h"
#include "config/paths.h"
#include "config/text_encoding.h"
#include "support/files.h"

namespace termload {
namespace {

TEST(ConfigFileList, EntriesEncodeAndDecode) {
    EXPECT_EQ(EncodeFileEntry(1, "/base/app.bin", "app.bin"), "1;/base/app.bin;app.bin");
    const auto entry = DecodeFileEntry("3;/base/bios.img; bios.img ;extra");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->kind, 3);
    EXPECT_EQ(entry->sourcePath, "/base/bios.img");
    EXPECT_EQ(entry->destinationName, "bios.img");
    EXPECT_EQ(DecodeFileEntry("x;/a;b")->kind, -1);
    EXPECT_FALSE(DecodeFileEntry("1;/a/b.bin"));  // no ";" after the source
    EXPECT_FALSE(DecodeFileEntry("1;"));
    EXPECT_FALSE(DecodeFileEntry("1;;dest"));  // empty source
    // Characters, not bytes: a hand-edited entry never splits one.
    EXPECT_EQ(DecodeFileEntry("1中/b/a.bin;d")->sourcePath, "/b/a.bin");
}

TEST(ConfigFileList, RowTextColumnsLineUpInBothLanguages) {
    // Kind text, 18 columns of file name, two blanks, destination: the destination starts at
    // GBK byte 30 in Chinese and at 32 in English.
    const std::string name18 = "abcdefghijklmn.bin";
    ASSERT_EQ(name18.size(), 18u);
    const std::string zh = Utf8ToGbk(RowText(kLangChinese, kApplication, "/b/" + name18, "d.bin"));
    EXPECT_EQ(zh.substr(10), name18 + "  d.bin");
    const std::string en = RowText(kLangEnglish, kApplication, "/b/" + name18, "d.bin");
    EXPECT_EQ(en, "Application " + name18 + "  d.bin");

    // 19 bytes lose the last one in the row text only.
    FileList list(kLangEnglish);
    ASSERT_EQ(list.AddFileRow(kOtherFile, "/b/abcdefghijklmno.bin", "x"), AddRowResult::Added);
    EXPECT_EQ(list.Rows()[0].text, "Other File  abcdefghijklmno.bi  x");
    EXPECT_EQ(list.Rows()[0].entry, "2;/b/abcdefghijklmno.bin;x");

    // A Chinese name is padded by its width; a character that would straddle the column end
    // is left out and its column filled with a blank.
    const std::string cjk = Utf8ToGbk(RowText(kLangChinese, kRootFile, "C:\\f\\文件.bin", "d"));
    EXPECT_EQ(cjk.size(), 10u + 18u + 2u + 1u);
    EXPECT_EQ(cjk.substr(28), "  d");
    const std::string straddle =
        RowText(kLangEnglish, kKernelFile, "/b/abcdefghijklmnopq中.bin", "d");
    EXPECT_EQ(straddle, "Kernel File abcdefghijklmnopq   d");
    EXPECT_EQ(RowText(kLangEnglish, 7, "/b/a.bin", "a.bin"),
              "a.bin" + std::string(13, ' ') + "  a.bin");
}

TEST(ConfigFileList, AddRefusesDuplicatesAFullListAndUnusablePaths) {
    FileList list(kLangChinese);
    EXPECT_EQ(list.AddFileRow(kApplication, "/b/app.bin", "app.bin"), AddRowResult::Added);
    EXPECT_EQ(list.AddFileRow(kOtherFile, "/b/app.bin", "other"), AddRowResult::Duplicate);
    // A path that merely ends like another is a different file.
    EXPECT_EQ(list.AddFileRow(kApplication, "/a/b/app.bin", "app.bin"), AddRowResult::Added);
    EXPECT_EQ(list.AddFileRow(kApplication, "/b/a;b.bin", "x"), AddRowResult::InvalidRow);
    EXPECT_EQ(list.AddFileRow(kApplication, "/" + std::string(254, 'p'), "x"),
              AddRowResult::SourceTooLong);
    EXPECT_EQ(list.AddFileRow(kApplication, "/" + std::string(253, 'p'), "x"), AddRowResult::Added);
    while (list.Size() < kMaxFileRows) {
        list.AddFileRow(kApplication, "/b/f" + std::to_string(list.Size()), "f");
    }
    EXPECT_EQ(list.AddFileRow(kApplication, "/b/one-more", "f"), AddRowResult::ListFull);
    EXPECT_EQ(list.Size(), kMaxFileRows);
    EXPECT_EQ(AddRowMessage(kLangEnglish, AddRowResult::ListFull, ""),
              "Max 32 files can be proceed! ");
    EXPECT_TRUE(AddRowMessage(kLangEnglish, AddRowResult::Duplicate, "/b/app.bin").empty());
    EXPECT_EQ(list.SelectedRow(), 0);
    EXPECT_TRUE(list.DeleteRow(1));
    EXPECT_EQ(list.SelectedRow(), -1);
    EXPECT_FALSE(list.DeleteRow(99));
}

TEST(ConfigFileList, StartButtonNeedsACheckedRowAndAModel) {
    FileList list;
    list.AddFileRow(kApplication, "/b/config.ini", "app.ini");
    list.AddFileRow(kApplication, "/b/app.bin", "app.bin");
    list.SetChecked(0, false);
    list.SetChecked(1, false);
    EXPECT_FALSE(CheckFileListForStart(list, 0, true).startEnabled);
    list.SetChecked(1, true);
    EXPECT_TRUE(CheckFileListForStart(list, 0, true).startEnabled);
    EXPECT_FALSE(CheckFileListForStart(list, 0, false).startEnabled);
    // With DOWNCONF the first row is always checked and always counts.
    list.SetChecked(1, false);
    const FileListCheck check = CheckFileListForStart(list, 1, true);
    EXPECT_TRUE(check.checkFirstRow);
    EXPECT_TRUE(check.startEnabled);
    EXPECT_FALSE(CheckFileListForStart(FileList{}, 1, true).checkFirstRow);
}

TEST(ConfigFileList, RenameChangesKindAndDestinationButKeepsSourceAndCheck) {
    FileList list(kLangEnglish);
    list.AddFileRow(kApplication, "/b/app.bin", "app.bin");
    list.SetChecked(0, false);
    ASSERT_TRUE(list.ChangeRow(0, kBiosFile, "new.bin  "));
    EXPECT_EQ(list.Rows()[0].entry, "3;/b/app.bin;new.bin  ");
    EXPECT_EQ(list.Rows()[0].text, "BIOS File   app.bin" + std::string(11, ' ') + "  new.bin");
    EXPECT_FALSE(list.Rows()[0].checked);
    EXPECT_EQ(DecodeFileEntry(list.Rows()[0].entry)->destinationName, "new.bin");
    EXPECT_FALSE(list.ChangeRow(0, 10, "x"));
    EXPECT_FALSE(list.ChangeRow(1, 1, "x"));
}

TEST(ConfigFileList, StoredRowsReadBackAsTheyWereWritten) {
    FileList written(kLangChinese);
    written.AddFileRow(kApplication, "/src/dir/app.bin", "app.bin");
    written.AddFileRow(kKernelImage, "/other/zImage", " kernel ");
    IniDocument ini;
    WriteFileList(ini, written);
    const std::string bytes = ini.ToBytes();
    EXPECT_NE(bytes.find("RecentCount=2\n"), std::string::npos);
    EXPECT_NE(bytes.find("Recent0=1;app.bin;app.bin\n"), std::string::npos);
    EXPECT_NE(bytes.find("Recent1=0;zImage; kernel \n"), std::string::npos);
    EXPECT_NE(bytes.find("Path1=/other/zImage\n"), std::string::npos);

    // Outside debug mode every file is looked up in the configuration's directory.
    std::vector<PromptMessage> messages;
    FileList moved(kLangChinese);
    ReadFileList(ini, moved, "/moved", false, messages);
    ASSERT_EQ(moved.Size(), 2u);
    EXPECT_EQ(moved.Rows()[0].entry, "1;" + JoinPath("/moved", "app.bin") + ";app.bin");
    EXPECT_EQ(moved.Rows()[1].entry, "0;" + JoinPath("/moved", "zImage") + ";kernel");
    // In debug mode the stored directories count.
    FileList debug(kLangChinese);
    ReadFileList(ini, debug, "/moved", true, messages);
    EXPECT_EQ(debug.Rows()[0].entry, "1;" + JoinPath("/src/dir", "app.bin") + ";app.bin");
    EXPECT_TRUE(messages.empty());
}

// The list written back and read again: the same rows, the same rows refused, and every stored
// row line below the count that the reading did not take still in the file as it was.
void ExpectRefusedAgainAfterTheSave(IniDocument& ini, const FileList& list) {
    // Section "History" but for its count, which may lose numbers after the last stored row.
    const auto rowLines = [](const std::string& bytes) {
        std::string history = bytes.substr(0, bytes.find("\n[", bytes.find("[History]")));
        const std::size_t at = history.find("RecentCount=");
        return history.erase(at, history.find('\n', at) - at);
    };
    const std::string before = rowLines(ini.ToBytes());
    WriteFileList(ini, list);
    const std::string after = ini.ToBytes();
    IniDocument again;
    again.LoadBytes(after);
    std::vector<PromptMessage> messages;
    FileList reread(kLangEnglish);
    ReadFileList(again, reread, "/base", false, messages);
    EXPECT_EQ(reread.Rows(), list.Rows());
    EXPECT_EQ(reread.Dropped(), list.Dropped());
    EXPECT_EQ(rowLines(after), before) << "nothing changed: every row line stays as it was";
}

// Every stored row below RecentCount either loads or is named: the rows after a gap, an empty
// row or a broken row still load, and the start is refused for the one that did not.
TEST(ConfigFileList, RowsThatCannotLoadAreNamedAndTheRowsAfterThemStillLoad) {
    struct Case {
        std::string history;
        std::size_t rows;
        std::vector<DroppedRow> dropped;
        std::string warning;  // the last message, in English
    };
    using namespace std::string_literals;
    const std::string base = "/base";
    const auto at = [&](const char* name) { return JoinPath(base, name); };
    const Case cases[] = {
        {"RecentCount=5\nRecent0=1;a.bin;a.bin\nRecent1=2;b.bin;b.bin\nRecent2=\n"
         "Recent3=1;d.bin;d.bin\n",
         3,
         {{"Recent2", RowFault::Empty}},
         "Rows of the file list were not loaded: Recent2 (empty row)"},
        {"RecentCount=9\nRecent0=1;a.bin;a.bin\nRecent2=1;c.bin;c.bin\nRecent7=1;h.bin;h.bin\n"
         "Recent9=1;left-over.bin;x\nrecent01=1;not-a-row;x\n",
         3,
         {{"Recent1", RowFault::Missing}, {"Recent3-Recent6", RowFault::Missing}},
         "Rows of the file list were not loaded: Recent1, Recent3-Recent6 (row missing)"},
        {"RecentCount=4\nRecent0=1;;a.bin\nRecent1=1; dir/ ;b.bin\nRecent2=1;c.bin; \n"
         "Recent3=1;no-semicolon\n",
         0,
         {{"Recent0", RowFault::NoSource},
          {"Recent1", RowFault::NoSource},
          {at("c.bin"), RowFault::NoDestination},
          {"no-semicolon", RowFault::NoDestination}},
         "Rows of the file list were not loaded: Recent0, Recent1 (no source file); c.bin, "
         "no-semicolon (no destination)"},
        {"RecentCount=3\nRecent0=1;a.bin;a.bin\nRecent1=k;b.bin;b.bin\nRecent2=1;c.bin;c.bin\n",
         1,
         {{"Recent1", RowFault::NotKind}},
         "'k' is not a valid integer value"},
        // A second row of a file is not loaded, and not lost: the gap before it stays refused.
        {"RecentCount=3\nRecent0=1;a.bin;a.bin\nRecent2=2;a.bin;again.bin\n",
         1,
         {{"Recent1", RowFault::Missing}},
         "Rows of the file list were not loaded: Recent1 (row missing)"},
        {"RecentCount=2\nRecent0=1;a.bin;same.bin\nRecent1=1;b.bin;same.bin\n",
         2,
         {},
         "Rows go to the same destination on the terminal: same.bin (a.bin, b.bin)"},
        {"RecentCount=2\nRecent0=1;a.bin;a.bin\n\n\0\nRecent1=1;b.bin;b.bin\n"s,
         1,
         {{"47", RowFault::CutAtNul}},
         "Rows of the file list were not loaded: 47 (a NUL byte at this offset: nothing after it "
         "was read)"},
        // NUL bytes at the end hide nothing.
        {"RecentCount=1\nRecent0=1;a.bin;a.bin\n\0\0\n"s, 1, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.history);
        IniDocument ini;
        ini.LoadBytes("[History]\n" + c.history);
        std::vector<PromptMessage> messages;
        FileList list(kLangEnglish);
        ReadFileList(ini, list, base, false, messages);
        EXPECT_EQ(list.Size(), c.rows);
        EXPECT_EQ(list.Dropped(), c.dropped);
        EXPECT_EQ(messages.empty() ? "" : messages.back().text, c.warning);
        if (ini.Rewritable()) {
            ExpectRefusedAgainAfterTheSave(ini, list);
        }
    }
}

// Rows deleted or added in the window move the refused rows with their neighbours: the gap and
// the row without a destination are refused again; clearing the list lifts the refusal.
TEST(ConfigFileList, EditedListKeepsItsRefusedRowsInPlace) {
    IniDocument ini;
    ini.LoadBytes(
        "[History]\nRecentCount=5\nRecent0=1;a.bin;a.bin\nRecent1=1;b.bin;b.bin\n"
        "Recent2=1;c.bin;\nRecent4=1;e.bin;e.bin\n[Path]\nPath2=C:\\keep\\c.bin\n");
    std::vector<PromptMessage> messages;
    FileList list(kLangEnglish);
    ReadFileList(ini, list, "/base", false, messages);
    ASSERT_EQ(list.Size(), 3u);
    list.DeleteRow(0);
    ASSERT_EQ(list.AddFileRow(kOtherFile, JoinPath("/base", "f.bin"), "f.bin"),
              AddRowResult::Added);
    WriteFileList(ini, list);
    IniDocument saved;
    saved.LoadBytes(ini.ToBytes());
    EXPECT_EQ(saved.ReadString("History", "RecentCount", ""), "5");
    const char* expected[][2] = {{"Recent0", "1;b.bin;b.bin"},
                                 {"Recent1", "1;c.bin;"},
                                 {"Recent2", "(none)"},
                                 {"Recent3", "1;e.bin;e.bin"},
                                 {"Recent4", "2;f.bin;f.bin"}};
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(saved.ReadString("History", key, "(none)"), value) << key;
    }
    EXPECT_EQ(saved.ReadString("Path", "Path1", ""), "C:\\keep\\c.bin") << "moved with its row";
    FileList reread(kLangEnglish);
    ReadFileList(saved, reread, "/base", false, messages);
    EXPECT_EQ(reread.Rows(), list.Rows());
    EXPECT_EQ(reread.Dropped(),
              (std::vector<DroppedRow>{{JoinPath("/base", "c.bin"), RowFault::NoDestination},
                                       {"Recent2", RowFault::Missing}}));

    reread.Clear();
    WriteFileList(saved, reread);
    FileList cleared(kLangEnglish);
    ReadFileList(saved, cleared, "/base", false, messages);
    EXPECT_TRUE(cleared.Empty());
    EXPECT_TRUE(cleared.Dropped().empty());
}

TEST(ConfigFileList, RowsTheReadingCannotTakeStayNotedWithOneWarningForAFullList) {
    std::string history = "[History]\nRecentCount=35\n";
    for (int row = 0; row < 35; ++row) {
        const std::string name =
            row == 1 ? std::string(250, 'p') + ".bin" : "f" + std::to_string(row) + ".bin";
        history += "Recent" + std::to_string(row) + "=1;" + name + ";" + name + "\n";
    }
    IniDocument ini;
    ini.LoadBytes(history);
    std::vector<PromptMessage> messages;
    FileList list(kLangEnglish);
    ReadFileList(ini, list, "/base", false, messages);
    EXPECT_EQ(list.Size(), 32u);
    ASSERT_EQ(list.Dropped().size(), 3u);
    EXPECT_EQ(list.Dropped()[0].fault, RowFault::SourceTooLong);
    EXPECT_EQ(list.Dropped()[1], (DroppedRow{JoinPath("/base", "f33.bin"), RowFault::ListFull}));
    EXPECT_EQ(list.Dropped()[2].source, JoinPath("/base", "f34.bin"));
    EXPECT_EQ(messages.size(), 2u) << "the long path, then the full list once";
    ExpectRefusedAgainAfterTheSave(ini, list);
    list.Clear();
    EXPECT_TRUE(list.Dropped().empty());
}

// A source whose name is no UTF-8 exists under its own bytes: the row must name those bytes.
TEST(ConfigFileList, SourceNamesThatAreNoUtf8AreFoundByTheirBytes) {
    // Neither UTF-8 nor GBK: reading the file as GBK loses the byte, the row keeps it as stored.
    IniDocument ini;
    ini.LoadBytes("[History]\nRecentCount=1\nRecent0=1;a\xFF.bin;a.bin\n");
    std::vector<PromptMessage> messages;
    FileList list;
    ReadFileList(ini, list, "/base", false, messages);
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Rows()[0].entry, "1;" + JoinPath("/base", "a\xFF.bin") + ";a.bin");
#ifndef _WIN32
    // Valid GBK reads as Chinese; a file copied from Windows may still carry the GBK bytes.
    const test::ScratchDir dir("file-list-bytes");
    const std::string utf8 = JoinPath(dir.Path().string(), "测.bin");
    const std::filesystem::path gbk = dir.Write("\xB2\xE2.bin", "x");
    EXPECT_EQ(SourcePathOnDisk(utf8), gbk);
    dir.Write("测.bin", "x");
    EXPECT_EQ(SourcePathOnDisk(utf8), std::filesystem::path(utf8)) << "the UTF-8 name first";
#endif
}

}  // namespace
}  // namespace termload
