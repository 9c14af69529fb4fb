#include "app/window_text.h"

#include "config/string_table.h"

namespace termload {

QString UiText(int langBase, int id) {
    return ToQString(TextOf(langBase, id));
}

}  // namespace termload
