// Configuration files of any content: reading never fails, every stored row is loaded or named,
// and whatever is read, written back and read again gives the same settings, controls and file
// list, the rows it did not load still refused.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "config/ini_document.h"
#include "config/model_rules.h"
#include "config/settings_file.h"

namespace {

termload::Configuration ReadFrom(const termload::IniDocument& ini) {
    termload::Configuration config;
    config.baseDir = "/base";
    config.configPath = "/base/Config.ini";
    termload::ReadSettings(config, ini);
    termload::ModelChanged(config);
    return config;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace termload;
    IniDocument ini;
    ini.LoadBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    const Configuration config = ReadFrom(ini);
    Check(config.files.Size() <= kMaxFileRows);
    Check(config.controls.modelItems.size() == config.settings.modeCodes.size());
    Check(config.settings.pieceDelayMs > 0);  // kept as written; capped where it is used
    Check(config.controls.hardVersion.size() <= 2 * 4);
    // Each stored key is a row or one dropped row (a gap is named once, before the key after
    // it); the NUL byte and the configuration's own row add one each at most.
    const std::size_t dropped = config.files.Dropped().size();
    Check(dropped <= ini.Keys("History").size() + 2);
    Check(dropped == 0 ||
          !DroppedRowsText(config.settings.langBase, config.files.Dropped()).empty());
    if (!ini.Rewritable()) {
        return 0;
    }
    IniDocument written;
    written.LoadBytes(ini.ToBytes());
    WriteSettings(written, config);
    IniDocument reread;
    reread.LoadBytes(written.ToBytes());
    // A GBK file whose only bytes that are no UTF-8 were overwritten can read as UTF-8 next time;
    // the encoding is guessed from the bytes, there is nothing in the file to tell it.
    if (reread.IsGbk() != ini.IsGbk()) {
        return 0;
    }
    const Configuration again = ReadFrom(reread);
    Check(again.settings == config.settings);
    Check(again.controls == config.controls);
    Check(again.files.Rows() == config.files.Rows());
    // The rows that did not load are still stored and refused for the same faults (their names
    // may move by one: the configuration's own row is written as a stored row).
    const auto faults = [](const FileList& files) {
        std::vector<RowFault> list;
        for (const DroppedRow& row : files.Dropped()) {
            list.push_back(row.fault);
        }
        return list;
    };
    Check(faults(again.files) == faults(config.files));
    return 0;
}
