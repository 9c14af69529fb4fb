// Text encoding, the string table and path helpers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config/file_system.h"
#include "config/paths.h"
#include "config/string_table.h"
#include "config/text_encoding.h"
#include "support/files.h"

namespace termload {
namespace {

TEST(ConfigText, GbkAndUtf8ConvertBothWaysAndReplaceWhatCannotBeConverted) {
    const std::string gbkCeShi = "\xB2\xE2\xCA\xD4";  // "测试" in code page 936
    EXPECT_EQ(GbkToUtf8(gbkCeShi), "测试");
    EXPECT_EQ(Utf8ToGbk("测试.bin"), gbkCeShi + ".bin");
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(GbkToUtf8("ab\xB2"), "ab\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");  // an emoji has no GBK form
    EXPECT_EQ(Utf8ToGbk("x\xC3"), "x?");                // broken UTF-8
    EXPECT_TRUE(IsValidUtf8("测试 plain"));
    EXPECT_FALSE(IsValidUtf8(gbkCeShi));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // over-long '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

TEST(ConfigText, DisplayWidthCountsCjkAsTwoAndCutsNeverSplitACharacter) {
    EXPECT_EQ(DisplayWidth("中a"), 3u);
    EXPECT_EQ(DisplayWidth("根文件    "), Utf8ToGbk("根文件    ").size());
    EXPECT_EQ(CutToDisplayWidth("ab中", 3), "ab");
    EXPECT_EQ(CutToDisplayWidth("ab中", 4), "ab中");
    EXPECT_EQ(CutToBytes("a中", 3), "a");
    EXPECT_EQ(CutToBytes("a中", 4), "a中");
    EXPECT_EQ(TrimBlanks(" \t x y \r\n"), "x y");
}

TEST(ConfigText, StringTableHoldsTheTextsExactlyInBothLanguages) {
    EXPECT_EQ(TextOf(kLangChinese, 53), "每次最多允许32个文件同时下载!");
    EXPECT_EQ(TextOf(kLangEnglish, 53), "Max 32 files can be proceed! ");
    EXPECT_EQ(TextOf(kLangEnglish, 52), "Download not finished，Confirm Exit?");
    EXPECT_EQ(TextOf(kLangEnglish, 64), " Destination filename length muse less  50!");
    EXPECT_EQ(TextOf(kLangChinese, 63), " 不存在! ");
    EXPECT_EQ(TextOf(kLangEnglish, 100), "Erase root file failed！ ");
    EXPECT_EQ(TextOf(kLangEnglish, 48), "COM27 Ready...");
    EXPECT_EQ(TextOf(kLangChinese, 22), "COM1 已就绪");
    EXPECT_EQ(TextOf(kLangEnglish, 122), "Cacel");
    EXPECT_TRUE(TextOf(kLangChinese, 111).starts_with(" "));
    EXPECT_NE(TextOf(kLangEnglish, 111).find('&'), std::string_view::npos);

    EXPECT_TRUE(TextOf(kLangChinese, 9999).empty());
    EXPECT_TRUE(TextOf(kLangChinese, -1).empty());
    EXPECT_TRUE(TextOf(500, 1).empty());

    // The kind columns line up: 10 GBK bytes in Chinese, 12 characters in English.
    for (int id = 54; id <= 59; ++id) {
        EXPECT_EQ(Utf8ToGbk(TextOf(kLangChinese, id)).size(), 10u) << id;
        EXPECT_EQ(TextOf(kLangEnglish, id).size(), 12u) << id;
    }
    for (int id : AllTextIds()) {
        EXPECT_FALSE(TextOf(kLangChinese, id).empty()) << id;
        EXPECT_FALSE(TextOf(kLangEnglish, id).empty()) << id;
        EXPECT_TRUE(IsValidUtf8(TextOf(kLangChinese, id))) << id;
    }
    for (int id = 0; id <= 148; ++id) {
        const bool unused = id == 107 || id == 117 || id == 129;
        EXPECT_EQ(TextOf(kLangEnglish, id).empty(), unused) << id;
    }
}

TEST(ConfigText, PathsWrittenOnWindowsOrPosixSplitAlike) {
    EXPECT_EQ(FileNamePart("C:\\files\\app.bin"), "app.bin");
    EXPECT_EQ(FileNamePart("/home/op/app.bin"), "app.bin");
    EXPECT_EQ(FileNamePart("C:app.bin"), "app.bin");
    EXPECT_EQ(FileNamePart("app.bin"), "app.bin");
    EXPECT_EQ(DirectoryPart("C:\\files\\app.bin"), "C:\\files");
    EXPECT_EQ(DirectoryPart("app.bin"), "");
    EXPECT_EQ(DirectoryPart("/app.bin"), "/");
    EXPECT_EQ(DirectoryPart("files\\\\\\app.bin"), "files");
    // New paths take the platform's separator.
    const std::string sep(1, NativeSeparator());
    EXPECT_EQ(JoinPath("/base", "a.bin"), "/base" + sep + "a.bin");
    EXPECT_EQ(JoinPath("/base/", "a.bin"), "/base/a.bin");
    EXPECT_EQ(JoinPath("", "a.bin"), "a.bin");
    // Joined once or twice, a drive-letter directory gives the same path.
    EXPECT_EQ(JoinPath("C:", "a.bin"), "C:" + sep + "a.bin");
    EXPECT_EQ(JoinPath(DirectoryPart(JoinPath("C:", "a.bin")), "a.bin"), JoinPath("C:", "a.bin"));
    // Windows takes either separator as it stands.
    EXPECT_EQ(NativePath("files\\sub\\a.bin"),
              sep == "/" ? "files/sub/a.bin" : "files\\sub\\a.bin");
}

// A narrow string read in Windows' ANSI code page would garble these; the standard library's
// own UTF-8 form is the reference.
TEST(ConfigText, Utf8TextAndPathsConvertWithoutLoss) {
    const std::string utf8 = "产线/配置 1.ini";
    const std::filesystem::path path = PathFromUtf8(utf8);
    EXPECT_EQ(path.native(), std::filesystem::path(u8"产线/配置 1.ini").native());
    EXPECT_EQ(path.filename().native(), std::filesystem::path(u8"配置 1.ini").native());
    EXPECT_EQ(PathToUtf8(path), utf8);
    EXPECT_EQ(PathToUtf8(PathFromUtf8("")), "");
}

#ifdef _WIN32
// Beside the roaming profile's other programs; a name outside the ANSI code page survives.
TEST(ConfigText, UserStoreIsInAppData) {
    const wchar_t* saved = _wgetenv(L"APPDATA");
    const std::wstring savedValue = saved ? saved : L"";
    _wputenv_s(L"APPDATA", L"C:\\Users\\\u6D4B\u8BD5\\AppData\\Roaming");
    EXPECT_EQ(PathToUtf8(UserStorePath()),
              "C:\\Users\\测试\\AppData\\Roaming\\termload\\termload.ini");
    _wputenv_s(L"APPDATA", savedValue.c_str());
}
#else
TEST(ConfigText, UserStoreFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(UserStorePath(), std::filesystem::path("/tmp/xdg-test/termload/termload.ini"));
    ::setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(UserStoreDir().filename(), "termload");
    EXPECT_EQ(UserStoreDir().parent_path().filename(), ".config");
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}
#endif

// An installed program never writes beside itself, even where it could (root and /usr/bin);
// a build tree or a portable copy does when its directory is writable.
TEST(ConfigText, ApplicationDirOfInstalledAndPortablePrograms) {
    EXPECT_TRUE(IsInstalledProgramDir("/usr/bin"));
    EXPECT_TRUE(IsInstalledProgramDir("/usr/local/bin/"));
    EXPECT_TRUE(IsInstalledProgramDir("/tmp/unpacked/usr/bin/."));
    EXPECT_FALSE(IsInstalledProgramDir("/work/build/default/src/app"));
    EXPECT_FALSE(IsInstalledProgramDir("/opt/binaries"));

    const test::ScratchDir scratch("termload-appdir");
    const std::filesystem::path& root = scratch.Path();
    std::filesystem::create_directories(root / "usr" / "bin");
    std::filesystem::create_directories(root / "portable");
    EXPECT_EQ(ApplicationDirFor(root / "usr" / "bin"), UserStoreDir());
    EXPECT_EQ(ApplicationDirFor(root / "portable"), root / "portable");
    EXPECT_EQ(ApplicationDirFor(root / "missing"), UserStoreDir());
}

}  // namespace
}  // namespace termload
