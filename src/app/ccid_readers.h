// The PC/SC reader names offered in the device list.
#pragma once

#include <QStringList>

namespace termload {

class CcidReader;

// The readers `reader`'s resource manager knows, in its order; empty when there are none or
// PC/SC is not available (the device combo then stays empty without a message).
QStringList ListCcidReaders(CcidReader& reader);

}  // namespace termload
