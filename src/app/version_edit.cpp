#include "app/version_edit.h"

namespace termload {
namespace {

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

}  // namespace

QValidator::State HexVersionValidator::validate(QString& input, int& /*pos*/) const {
    for (QChar c : input) {
        if (!IsHexDigit(c)) {
            return Invalid;
        }
    }
    input = input.toUpper();
    return Acceptable;
}

QString CompleteVersion(const QString& text) {
    if (text.isEmpty()) {
        return QStringLiteral("00");
    }
    if (text.size() == 1) {
        return QStringLiteral("0") + text;
    }
    return text;
}

}  // namespace termload
