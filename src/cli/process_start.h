// What the process sets up before the command runs.
#pragma once

#include <string>
#include <vector>

namespace termload::cli {

// POSIX: closed standard descriptors are opened on /dev/null, and SIGINT, SIGTERM and SIGHUP are
// held, from the process's first instant (before any static initialiser) until the interrupt
// thread takes them; output into a closed pipe (`| head`) fails the write instead of ending the
// download. Windows: the console shows UTF-8 (the program's
// texts, Chinese names) and colour escapes; its earlier code page comes back at exit.
void PrepareProcess();

// The command line as UTF-8, program name first: on Windows the narrow argv is in the ANSI code
// page and loses every character outside it.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace termload::cli
