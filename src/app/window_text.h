// Texts of the string table as Qt strings.
#pragma once

#include <QString>
#include <string_view>

namespace termload {

inline QString ToQString(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string ToUtf8(const QString& text) {
    return text.toStdString();
}

// String `langBase` + `id` of the table.
QString UiText(int langBase, int id);

}  // namespace termload
