// The dialog in which the operator changes a file row's kind and destination name.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TFrmchangname;  // the designer form of RenameDialog
}

namespace termload {

class RenameDialog : public QDialog {
    Q_OBJECT
  public:
    // Captions in the language of `langBase`; `kind` selects the kind item (none when it lies
    // outside 0-5), `destination` fills the name field.
    RenameDialog(int langBase, int kind, const QString& destination, QWidget* parent = nullptr);
    ~RenameDialog() override;

    // The chosen kind, -1 when no kind is selected.
    int Kind() const;
    // The name exactly as typed.
    QString Destination() const;

  private:
    std::unique_ptr<Ui::TFrmchangname> ui_;
};

}  // namespace termload
