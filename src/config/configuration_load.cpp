#include "config/configuration_load.h"

#include <fstream>
#include <system_error>

#include "config/file_system.h"
#include "config/model_rules.h"
#include "config/paths.h"
#include "config/settings_file.h"

namespace termload {

namespace {

constexpr std::string_view kCreateFailedText = "Create Config file failed! ";

bool CreateEmptyFile(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return file.good();
}

}  // namespace

LoadResult LoadConfiguration(Configuration& config, std::string_view path,
                             const std::filesystem::path& appDir) {
    std::error_code error;
    const std::string native = NativePath(path);
    if (!native.empty() && std::filesystem::is_regular_file(PathFromUtf8(native), error)) {
        config.configPath = native;
        if (config.baseDir.empty()) {
            config.baseDir = DirectoryPart(native);
        }
        LoadResult result{LoadStatus::Loaded, ReadSettings(config)};
        ModelChanged(config);
        return result;
    }

    const std::string appDirText = PathToUtf8(appDir);
    const std::string defaultPath = JoinPath(appDirText, kDefaultConfigName);
    // A default configuration that is already there is loaded, never emptied.
    if (std::filesystem::is_regular_file(PathFromUtf8(defaultPath), error)) {
        config.baseDir = appDirText;
        return LoadConfiguration(config, defaultPath, appDir);
    }
    config.baseDir = appDirText;
    config.configPath = defaultPath;
    if (!CreateEmptyFile(PathFromUtf8(defaultPath))) {
        return {LoadStatus::CreateFailed, {{PromptKind::Error, std::string(kCreateFailedText)}}};
    }
    // The empty file holds no "Language": it reads in Chinese, as any file without the key does,
    // so that a first start does not mix the design's English captions with Chinese texts.
    config.settings.english = false;
    config.settings.langBase = kLangChinese;
    config.files.SetLangBase(kLangChinese);
    return {LoadStatus::CreatedDefault, {}};
}

LoadResult LoadChosenConfiguration(Configuration& config, std::string_view path,
                                   const std::filesystem::path& appDir) {
    std::error_code error;
    const std::filesystem::path given = PathFromUtf8(NativePath(path));
    std::filesystem::path chosen = std::filesystem::absolute(given, error);
    if (error) {
        chosen = given;
    }
    config.baseDir = PathToUtf8(chosen.parent_path());
    return LoadConfiguration(config, PathToUtf8(chosen), appDir);
}

}  // namespace termload
