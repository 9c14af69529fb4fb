#include "results_log.hpp"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace termsim {

ResultsLog::ResultsLog(const std::filesystem::path& path, Verbosity verbosity, TimePoint start)
    : file_(std::fopen(path.c_str(), "w")), verbosity_(verbosity), start_(start) {
    if (!file_) {
        throw std::runtime_error("cannot open " + path.string() + ": " + std::strerror(errno));
    }
}

void ResultsLog::Record(nlohmann::json line, TimePoint now) {
    line["t"] = std::chrono::duration<double>(now - start_).count();
    // Names from the wire are GBK, not UTF-8: keep them readable instead of failing.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(file_.get(), "%s\n", text.c_str());
    std::fflush(file_.get());
    if (verbosity_ != Verbosity::Quiet) {
        std::printf("%s\n", HumanText(line).c_str());
        std::fflush(stdout);
    }
}

void ResultsLog::Progress(const std::string& text) {
    if (verbosity_ == Verbosity::Progress) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }
}

namespace {

std::string Text(const nlohmann::json& line, const char* key) {
    const auto it = line.find(key);
    if (it == line.end() || it->is_null()) {
        return "-";
    }
    return it->is_string() ? it->get<std::string>()
                           : it->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool Flag(const nlohmann::json& line, const char* key) {
    const auto it = line.find(key);
    return it != line.end() && it->is_boolean() && it->get<bool>();
}

}  // namespace

std::string HumanText(const nlohmann::json& line) {
    const std::string event = Text(line, "event");
    const std::string where = Text(line, "port") + " unit " + Text(line, "unit") + ": ";
    if (event == "file") {
        std::string text = where + Text(line, "kind") + " file " + Text(line, "name") + " " +
                           Text(line, "received") + "/" + Text(line, "length") + " bytes, " +
                           (Flag(line, "good") ? "OK" : "BAD");
        if (line.contains("problems") && !line["problems"].empty()) {
            text += " (" + line["problems"][0].get<std::string>() + ")";
        }
        return text;
    }
    if (event == "unit") {
        return where + "unit ended (" + Text(line, "ended") + "), " + Text(line, "files_good") +
               " good of " + Text(line, "files_expected") + " expected, " +
               Text(line, "frames_bad") + " bad frames" +
               (Flag(line, "complete") ? ", complete" : "");
    }
    if (event == "clock") {
        return where + "clock set to " + Text(line, "time") +
               (Flag(line, "valid") ? "" : " (invalid packet)");
    }
    if (event == "version") {
        return where + "version request " + (Flag(line, "request_ok") ? "answered" : "refused");
    }
    if (event == "console") {
        return where + Text(line, "what") + (Flag(line, "ok") ? " ok" : " FAILED") + " " +
               Text(line, "detail");
    }
    if (event == "frame-rejected") {
        return where + "frame rejected: " + Text(line, "reason") + ", " + Text(line, "problem");
    }
    if (event == "summary") {
        return "termsim: " + Text(line, "units") + " units, " + Text(line, "files_good") +
               " files good, " + Text(line, "files_bad") + " bad, " + Text(line, "frames_bad") +
               " bad frames";
    }
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace termsim
