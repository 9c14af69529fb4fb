#include "app/ccid_readers.h"

#include "channels/ccid_reader.h"

namespace termload {

QStringList ListCcidReaders(CcidReader& reader) {
    QStringList names;
    for (const std::string& name : reader.ListReaders()) {
        names.append(QString::fromStdString(name));
    }
    return names;
}

}  // namespace termload
