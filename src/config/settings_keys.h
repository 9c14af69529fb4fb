// Which key of the configuration file holds which setting or control value: one table that
// reading and writing both go through, so a key and its field cannot drift apart.
#pragma once

#include "config/settings.h"

namespace termload {

class IniDocument;

// Every key of the table into its field, with the key's default and correction. The model list
// must be read first: the model index is checked against it.
void ReadSettingKeys(const IniDocument& ini, Configuration& config);

// Every key of the table that is written back, in the table's order (new keys are appended to
// the file in it). "Language", "NewMachine", "RootDir" and "IsUseLogalAddr" are only read.
void WriteSettingKeys(IniDocument& ini, const Configuration& config);

}  // namespace termload
