// The file list in the window: adding, deleting, clearing, check marks and the rename dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/rename_dialog.h"
#include "config/ini_document.h"
#include "config/settings_file.h"
#include "gui_test_support.h"

namespace termload::test {
namespace {

QString RowText(WindowUnderTest& w, int row) {
    return w.Find<QListWidget>("ckFiles")->item(row)->text();
}

// Double-clicks a row and, inside the modal dialog, lets `edit` change its kind and name before
// pressing OK (or Cancel when `accept` is false).
void RenameRow(WindowUnderTest& w, int row, bool accept,
               const std::function<void(RenameDialog&, QComboBox* kind, QLineEdit* name)>& edit) {
    auto* list = w.Find<QListWidget>("ckFiles");
    bool dialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<RenameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialogSeen = true;
        edit(*dialog, dialog->findChild<QComboBox*>("cmbMode"),
             dialog->findChild<QLineEdit*>("edtfilename"));
        dialog->findChild<QPushButton*>(accept ? "Button1" : "Button2")->click();
    });
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_TRUE(dialogSeen);
}

TEST(WindowFileList, RenameChangesKindAndNameButKeepsSourceAndCheckMark) {
    WindowUnderTest w;
    w.Load(ConfigText("DegugMode=1\n", "00=M740-32\n",
                      History({"1;app.bin;app.bin", "2;data.dat;data.dat"})));
    auto* list = w.Find<QListWidget>("ckFiles");
    ASSERT_EQ(list->count(), 2);
    list->item(1)->setCheckState(Qt::Unchecked);

    // Only the kind: the first column and the entry's digit change.
    RenameRow(w, 0, true, [](RenameDialog& dialog, QComboBox* kind, QLineEdit* name) {
        EXPECT_EQ(dialog.windowTitle(), "修改目标文件名");
        EXPECT_EQ(kind->currentText(), "应用程序");
        EXPECT_EQ(name->text(), "app.bin");
        kind->setCurrentIndex(3);
    });
    EXPECT_EQ(w.window->Config().files.Rows()[0].entry,
              "3;" + (w.dir.Path() / "app.bin").string() + ";app.bin");
    EXPECT_EQ(RowText(w, 0), "BIOS文件  app.bin             app.bin");

    // Trailing blanks stay in the entry but not in the row text; the row keeps its check mark.
    RenameRow(w, 1, true, [](auto&, auto*, QLineEdit* name) { name->setText("new.dat   "); });
    EXPECT_EQ(w.window->Config().files.Rows()[1].entry,
              "2;" + (w.dir.Path() / "data.dat").string() + ";new.dat   ");
    EXPECT_EQ(RowText(w, 1), "其他文件  data.dat            new.dat");
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->count(), 2);

    // Cancel changes nothing.
    RenameRow(w, 0, false, [](auto&, QComboBox* kind, QLineEdit* name) {
        kind->setCurrentIndex(5);
        name->setText("other");
    });
    EXPECT_EQ(w.window->Config().files.Rows()[0].entry,
              "3;" + (w.dir.Path() / "app.bin").string() + ";app.bin");
}

TEST(WindowFileList, RenameInEnglishKeepsTheColumnsAndOddKindsKeepTheirDigit) {
    WindowUnderTest w;
    w.Load(ConfigText("Language=1\nDegugMode=1\n", "00=M740-32\n",
                      History({"1;a.bin;a.bin", "8;odd.bin;odd.bin"})));
    RenameRow(w, 0, true, [](RenameDialog& dialog, QComboBox* kind, QLineEdit* name) {
        EXPECT_EQ(dialog.findChild<QPushButton*>("Button2")->text(), "Cacel");
        kind->setCurrentIndex(4);
        name->setText("kernel.img");
    });
    EXPECT_EQ(RowText(w, 0), "Kernel File a.bin               kernel.img");

    // A kind outside 0-5 opens with no kind selected, and OK keeps the row's digit.
    RenameRow(w, 1, true, [](auto&, QComboBox* kind, QLineEdit* name) {
        EXPECT_EQ(kind->currentIndex(), -1);
        name->setText("odd2.bin");
    });
    EXPECT_EQ(w.window->Config().files.Rows()[1].entry.substr(0, 2), "8;");
    EXPECT_TRUE(w.window->Config().files.Rows()[1].entry.ends_with(";odd2.bin"));
}

TEST(WindowFileList, AddDeleteAndClearThroughButtonAndMenu) {
    WindowUnderTest w;
    w.Load(ConfigText("DegugMode=1\n"));
    auto* list = w.Find<QListWidget>("ckFiles");
    auto* add = w.Find<QPushButton>("bbtnadd");
    auto* start = w.Find<QPushButton>("btnDown");
    EXPECT_FALSE(start->isEnabled());  // no row chosen yet

    const auto first = w.dir.Write("sub/first.bin", "1");
    w.files.PickNext(first);
    Click(add);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(w.window->Config().files.Rows()[0].entry, "1;" + first.string() + ";first.bin");
    EXPECT_TRUE(start->isEnabled());
    // The added row is selected and, in debug mode, its directory shows in the path label.
    EXPECT_EQ(w.Find<QLabel>("lbPath")->text(),
              QString::fromStdString("下载路径: " + first.parent_path().string()));

    // The same file again: still one row and no message.
    w.files.PickNext(first);
    Click(add);
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(w.prompts.Boxes().empty());

    // Unchecking the only row disables the start button.
    list->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(start->isEnabled());

    for (int i = 1; i < 32; ++i) {
        w.files.PickNext(w.dir.Write("f" + std::to_string(i) + ".bin", "x"));
        Click(add);
    }
    EXPECT_EQ(list->count(), 32);
    w.files.PickNext(w.dir.Write("one-too-many.bin", "x"));
    Click(add);
    EXPECT_EQ(list->count(), 32);
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].kind, PromptKind::Warning);
    EXPECT_EQ(w.prompts.Boxes()[0].text, "每次最多允许32个文件同时下载!  ");
    w.prompts.Clear();

    // Delete with no row selected: a plain box captioned "Error", owned by no window.
    list->setCurrentRow(-1);
    auto* menu = w.window->findChild<QMenu*>("pm1");
    ASSERT_NE(menu, nullptr);
    menu->actions()[0]->trigger();
    ASSERT_EQ(w.prompts.Boxes().size(), 1u);
    EXPECT_EQ(w.prompts.Boxes()[0].caption, "Error");
    EXPECT_EQ(w.prompts.Boxes()[0].text, "请先选择一行");
    EXPECT_EQ(w.prompts.Boxes()[0].owner, nullptr);
    EXPECT_EQ(list->count(), 32);

    list->setCurrentRow(3);
    const std::string fourth = w.window->Config().files.Rows()[4].entry;
    menu->actions()[0]->trigger();
    EXPECT_EQ(list->count(), 31);
    EXPECT_EQ(w.window->Config().files.Rows()[3].entry, fourth);

    menu->actions()[1]->trigger();
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(w.window->Config().files.Empty());
    EXPECT_FALSE(start->isEnabled());
}

TEST(WindowFileList, FirstRowStaysCheckedWhenTheConfigurationIsSentToo) {
    WindowUnderTest w;
    w.Load(ConfigText("DOWNCONF=1\n", "00=M740-32\n", History({"1;a.bin;a.bin"})));
    auto* list = w.Find<QListWidget>("ckFiles");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(0)->text().endsWith("app.ini"));
    list->item(1)->setCheckState(Qt::Unchecked);
    list->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_TRUE(w.window->Config().files.Rows()[0].checked);
    EXPECT_TRUE(w.Find<QPushButton>("btnDown")->isEnabled());
}

// The save on close writes the list back: a row the loading refused is still in the file, as the
// operator wrote it, and the next start refuses it again.
TEST(WindowFileList, CloseKeepsTheRowsTheLoadingRefused) {
    std::vector<std::string> full;
    for (int row = 0; row < 33; ++row) {
        full.push_back("1;f" + std::to_string(row) + ".bin;f" + std::to_string(row) + ".bin");
    }
    const std::vector<std::string> lists[] = {
        {"1;a.bin;a.bin", "1;b.bin", "1;c.bin;c.bin"},        // no destination
        {"1;a.bin;a.bin", "k;b.bin;b.bin", "1;c.bin;c.bin"},  // a kind letter: the reading stops
        full,                                                 // a 33rd row
    };
    for (const std::vector<std::string>& rows : lists) {
        SCOPED_TRACE(rows[1]);
        WindowUnderTest w(ConfigText("", "00=M740-32\n", History(rows)));
        const std::vector<DroppedRow> refused = w.window->Config().files.Dropped();
        ASSERT_FALSE(refused.empty());
        ASSERT_TRUE(w.window->close());

        IniDocument saved;
        ASSERT_EQ(saved.Load(w.dir.Path() / "Config.ini"), IniDocument::LoadStatus::Ok);
        EXPECT_EQ(saved.ReadInteger("History", "RecentCount", 0), static_cast<int>(rows.size()));
        for (std::size_t row = 0; row < rows.size(); ++row) {
            EXPECT_EQ(saved.ReadString("History", "Recent" + std::to_string(row), ""), rows[row]);
        }
        Configuration next;
        next.configPath = (w.dir.Path() / "Config.ini").string();
        next.baseDir = w.dir.Path().string();
        ReadSettings(next);
        EXPECT_EQ(next.files.Dropped(), refused);
    }
}

}  // namespace
}  // namespace termload::test
