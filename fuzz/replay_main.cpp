// Runs a fuzz target's checks over files, without libFuzzer: the test suite
// replays every committed corpus entry this way, so an input that once broke
// a target stays a regression test. Arguments are files or folders (every
// file in them); a broken invariant aborts, naming the input that broke it.

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Written out by the abort handler, which may only call write().
char currentInput[4096] = "";

extern "C" void reportInput(int) {
    constexpr char prefix[] = "\nreplay: the input that broke it: ";
    [[maybe_unused]] auto a = write(STDERR_FILENO, prefix, sizeof prefix - 1);
    [[maybe_unused]] auto b = write(STDERR_FILENO, currentInput, std::strlen(currentInput));
    [[maybe_unused]] auto c = write(STDERR_FILENO, "\n", 1);
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

bool collect(const std::filesystem::path& path, std::vector<std::filesystem::path>& files) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        for (const auto& entry : std::filesystem::directory_iterator(path, error))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        return !error;
    }
    if (std::filesystem::is_regular_file(path, error)) {
        files.push_back(path);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], files)) {
            std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
            return 2;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 2;
    }
    std::sort(files.begin(), files.end());
    std::signal(SIGABRT, reportInput);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
            return 2;
        }
        std::snprintf(currentInput, sizeof currentInput, "%s", file.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replay: %zu inputs, every invariant held\n", files.size());
    return 0;
}
