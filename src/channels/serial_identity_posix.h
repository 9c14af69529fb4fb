// The identity of an open device, shared with the serial port's backend.
#pragma once

#include <string>

namespace termload {

// The identity of the device open on `descriptor`, as SerialDeviceIdentityOf gives it for the
// node's path; empty when the descriptor tells nothing.
std::string IdentityOfOpenDevice(int descriptor);

}  // namespace termload
