#include "engine/timer_file.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "channels/local_time.h"

namespace termload {

std::string TimerFileText(const std::tm& local) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

bool WriteTimerFile(const std::filesystem::path& target) {
    const std::string text = TimerFileText(LocalCalendarTimeNow());
    // One temporary name per writing thread: threads of other ports write the same target.
    const auto threadTag = std::hash<std::thread::id>{}(std::this_thread::get_id());
    std::filesystem::path temporary = target;
    temporary += "." + std::to_string(threadTag) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) ||
            !out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace termload
