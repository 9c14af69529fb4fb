#include "env_file.hpp"

#include <fstream>
#include <stdexcept>

namespace termsim {

void AddEnvLines(const std::filesystem::path& file, const EnvLines& lines) {
    EnvLines merged;
    {
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && eq > 0) {
                merged.emplace_back(line.substr(0, eq), line.substr(eq + 1));
            }
        }
    }
    for (const auto& [name, value] : lines) {
        bool replaced = false;
        for (auto& entry : merged) {
            if (entry.first == name) {
                entry.second = value;
                replaced = true;
            }
        }
        if (!replaced) {
            merged.emplace_back(name, value);
        }
    }
    std::filesystem::path temporary = file;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [name, value] : merged) {
            out << name << "=" << value << "\n";
        }
        if (!out.flush()) {
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    std::filesystem::rename(temporary, file);
}

}  // namespace termsim
