// The PC/SC reader names offered in the device list.
#pragma once

#include <QStringList>

namespace termload {

// No PC/SC reader channel is built yet, so the list is always empty; the device combo then stays
// empty without a message.
QStringList ListCcidReaders();

}  // namespace termload
