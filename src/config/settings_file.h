// Reading the settings from a configuration file and writing them back into it.
#pragma once

#include <vector>

#include "config/prompt_message.h"
#include "config/settings.h"

namespace termload {

class IniDocument;

// Reads every section of the file at configPath into the settings, controls and file list.
// A missing, unreadable or oversized file gives the defaults.
std::vector<PromptMessage> ReadSettings(Configuration& config);
// The same from a document already in memory.
std::vector<PromptMessage> ReadSettings(Configuration& config, const IniDocument& ini);
// Puts the settings that are written back into a document (all of SaveSettings but the file).
void WriteSettings(IniDocument& ini, const Configuration& config);

enum class SaveStatus {
    Saved,
    NoFile,    // the file does not exist: nothing written
    ReadOnly,  // the file is read-only: nothing written
    NotText,   // the file holds bytes that would not survive a rewrite: nothing written
    Failed,    // writing failed; the file is unchanged
};

// Writes the settings back to configPath (baseDir/Config.ini when empty), keeping comments,
// key order, unknown keys, encoding and line ends of the file. "Language", "NewMachine",
// "RootDir" and "IsUseLogalAddr" are never written.
SaveStatus SaveSettings(Configuration& config);

}  // namespace termload
