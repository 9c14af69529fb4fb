// MainWindow: captions, headings and language-dependent items in the language of the configuration.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalBlocker>
#include <QStandardItemModel>

#include "app/main_window.h"
#include "app/port_panels.h"
#include "app/window_text.h"
#include "ui_main_window.h"

namespace termload {
namespace {

// Captions relabelled by ApplyLanguage: object name and string id.
struct Caption {
    const char* objectName;
    int id;
};
constexpr Caption kCaptions[] = {
    {"lblDummy", 0},
    {"grpBox", 1},
    {"lblmodel", 2},
    {"rbSingle", 3},
    {"lblver", 4},
    {"rbMulti", 5},
    {"grpCom", 6},
    {"lblrate", 7},
    {"lblnum", 8},
    {"lblstop", 9},
    {"lblxy", 10},
    {"lbllk", 11},
    {"ckUsb", 12},
    {"btnTime", 13},
    {"lbPath", 14},
    {"lbCurrFile", 18},
    {"btnAdd", 19},
    {"bbtnadd", 20},
    {"btnDown", 21},
    {"btntest", 141},
    {"RefreshCCID", 142},
    {"Label1", 143},
    {"rbusb", 144},
    {"rbccid", 145},
    {"ReadFileVersion", 148},
};
constexpr int kFirstPortLabelId = 22;  // Lab1 ... Lab27: ids 22-48
constexpr int kFirstHeadingId = 15;    // the file list's three headings: ids 15-17
constexpr int kDeleteRowId = 49;
constexpr int kClearListId = 50;

void SetCaption(QObject* control, const QString& text) {
    if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    }
}

}  // namespace

void MainWindow::ApplyLanguage() {
    const int lang = LangBase();
    for (const Caption& caption : kCaptions) {
        SetCaption(findChild<QObject*>(QString::fromLatin1(caption.objectName)),
                   UiText(lang, caption.id));
    }
    for (int port = 1; port <= kPortPanelCount; ++port) {
        panels_->Label(port)->setText(UiText(lang, kFirstPortLabelId + port - 1));
    }
    auto* headings = static_cast<QStandardItemModel*>(header_->model());
    for (int column = 0; column < 3; ++column) {
        headings->setHeaderData(column, Qt::Horizontal, UiText(lang, kFirstHeadingId + column));
    }
    const QList<QAction*> menu = fileMenu_->actions();
    menu[0]->setText(UiText(lang, kDeleteRowId));
    menu[1]->setText(UiText(lang, kClearListId));
    panels_->SetLanguage(lang);

    FillCombo("cmbParityBit", ParityItems(lang), ui_->cmbParityBit->currentIndex());
    FillCombo("cmbFlowCtrl", FlowCtrlItems(lang), ui_->cmbFlowCtrl->currentIndex());
}

// Empties and refills a combo whose items depend on the language, keeping its selection.
void MainWindow::FillCombo(const char* name, const std::vector<std::string_view>& items,
                           int index) {
    auto* combo = findChild<QComboBox*>(QString::fromLatin1(name));
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (std::string_view item : items) {
        combo->addItem(ToQString(item));
    }
    combo->setCurrentIndex(index);
}

}  // namespace termload
