// Replays fuzz inputs through a harness, for builds without libFuzzer: every file in the seed
// corpus (TARROW_FUZZ_CORPUS) and in the folder of saved crash inputs (TARROW_FUZZ_REGRESSIONS,
// which may be missing), once each. A harness that finds a fault aborts, so the test fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> inputs;
    if (!std::filesystem::is_directory(folder)) return inputs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

void replay(const std::vector<std::filesystem::path>& inputs) {
    for (const auto& path : inputs) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << "cannot read " << path;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

TEST(FuzzReplay, EverySeedRunsClean) {
    const auto inputs = inputsIn(TARROW_FUZZ_CORPUS);
    ASSERT_FALSE(inputs.empty()) << "no seeds in " << TARROW_FUZZ_CORPUS;
    replay(inputs);
}

TEST(FuzzReplay, EverySavedCrashInputRunsClean) { replay(inputsIn(TARROW_FUZZ_REGRESSIONS)); }

}  // namespace
