#include "app/ccid_readers.h"

namespace termload {

QStringList ListCcidReaders() {
    return {};
}

}  // namespace termload
