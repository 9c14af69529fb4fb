// Which file is the configuration in use: the one given, or a default one beside the program,
// created empty on the first start.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "config/prompt_message.h"
#include "config/settings.h"

namespace termload {

enum class LoadStatus {
    Loaded,          // the file existed and was read
    CreatedDefault,  // no file at the path: an empty default file was created, nothing read
    CreateFailed,    // ... and could not be created: the host shows the message and ends
};

struct LoadResult {
    LoadStatus status = LoadStatus::Loaded;
    std::vector<PromptMessage> messages;  // to show in this order
};

// Makes `path` the configuration in use and reads it; when no file exists there, creates an
// empty "Config.ini" in `appDir` instead and leaves the settings as they are, but for the
// language, which becomes Chinese as for any file without "Language".
LoadResult LoadConfiguration(Configuration& config, std::string_view path,
                             const std::filesystem::path& appDir);

// A configuration the operator picked: its directory becomes baseDir, then LoadConfiguration.
LoadResult LoadChosenConfiguration(Configuration& config, std::string_view path,
                                   const std::filesystem::path& appDir);

}  // namespace termload
