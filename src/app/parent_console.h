// Where the window program writes what it prints (its --version answer).
#pragma once

namespace termload {

// Makes standard output reach the console the program was started from. A Windows program built
// for the window subsystem has no console of its own; elsewhere this changes nothing.
void UseParentConsole();

}  // namespace termload
