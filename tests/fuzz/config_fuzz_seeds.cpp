// Starts a fuzzer run that names no corpus from the seed files in the source tree, given to
// the build as TERMLOAD_FUZZ_SEEDS (a comma-separated list). Seeds are only read, so the
// source tree stays clean.
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static std::string seedFlag = std::string("-seed_inputs=") + TERMLOAD_FUZZ_SEEDS;
    static std::vector<char*> arguments;
    if (std::string_view(TERMLOAD_FUZZ_SEEDS).empty()) {
        return 0;
    }
    for (int i = 1; i < *argc; ++i) {
        const std::string_view argument = (*argv)[i];
        if (!argument.starts_with("-") || argument.starts_with("-seed_inputs")) {
            return 0;
        }
    }
    arguments.assign(*argv, *argv + *argc);
    arguments.push_back(seedFlag.data());
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
    return 0;
}
