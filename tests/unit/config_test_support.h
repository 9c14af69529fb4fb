// Scratch directories and file helpers for the configuration tests.
#pragma once

#include "support/files.h"

namespace termload::testing {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

}  // namespace termload::testing
