#include "app/rename_dialog.h"

#include "app/window_text.h"
#include "config/file_list.h"
#include "ui_rename_dialog.h"

namespace termload {
namespace {

// Caption ids of the dialog and the first id of its kind items (one per kind, 0-5).
constexpr int kTitleId = 118;
constexpr int kKindLabelId = 119;
constexpr int kNameLabelId = 120;
constexpr int kOkId = 121;
constexpr int kCancelId = 122;
constexpr int kFirstKindItemId = 123;

}  // namespace

RenameDialog::RenameDialog(int langBase, int kind, const QString& destination, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFrmchangname>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowTitle(UiText(langBase, kTitleId));
    ui_->Label1->setText(UiText(langBase, kKindLabelId));
    ui_->lbl1->setText(UiText(langBase, kNameLabelId));
    ui_->Button1->setText(UiText(langBase, kOkId));
    ui_->Button2->setText(UiText(langBase, kCancelId));

    ui_->cmbMode->clear();
    for (int k = kKernelImage; k <= kRootFile; ++k) {
        ui_->cmbMode->addItem(UiText(langBase, kFirstKindItemId + k));
    }
    ui_->cmbMode->setCurrentIndex(kind >= kKernelImage && kind <= kRootFile ? kind : -1);
    ui_->edtfilename->setText(destination.trimmed());
}

RenameDialog::~RenameDialog() = default;

int RenameDialog::Kind() const {
    return ui_->cmbMode->currentIndex();
}

QString RenameDialog::Destination() const {
    return ui_->edtfilename->text();
}

}  // namespace termload
