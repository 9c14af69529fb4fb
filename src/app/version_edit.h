// Input rules of the hardware-version field: two hexadecimal digits in upper case.
#pragma once

#include <QString>
#include <QValidator>

namespace termload {

// Accepts only 0-9, A-F and a-f, turned into upper case; anything else is dropped silently.
// As a validator it covers typed keys and pasted text alike.
class HexVersionValidator : public QValidator {
    Q_OBJECT
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// What the field holds when the operator leaves it: empty becomes "00", one digit c becomes "0c".
QString CompleteVersion(const QString& text);

}  // namespace termload
