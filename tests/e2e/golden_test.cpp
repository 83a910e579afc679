// Every golden input document converted with each option set must give exactly the
// committed output. A deliberate output change rewrites them with tests/golden/update.sh
// and names itself in its commit.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/convert.h"

namespace {

namespace fs = std::filesystem;

struct OptionSet {
  const char* name;
  const char* args;
};

constexpr OptionSet kSets[] = {
    {"office-math", "--format office-math"},
    {"equation3", "--format equation3"},
    {"office-math-euclid", "--format office-math --euclid --no-force-unicode"},
    {"equation3-euclid", "--format equation3 --euclid --no-force-unicode"},
};

TEST(Golden, EveryDocumentConvertsExactlyAsCommitted) {
  const fs::path golden = fs::path(VELOTRIX_SOURCE_DIR) / "tests/golden";
  for (const OptionSet& set : kSets) {
    const fs::path outDir = tempPath(std::string("golden_") + set.name);
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    const std::string cmd = std::string(VELOTRIX_CLI) + " " + (golden / "in").string() +
                            "/*.rtf --output-dir " + outDir.string() + " " + set.args +
                            " --no-stats 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::size_t compared = 0;
    for (const auto& entry : fs::directory_iterator(golden / "out" / set.name)) {
      const fs::path produced = outDir / entry.path().filename();
      EXPECT_TRUE(readFile(produced.string()) == readFile(entry.path().string()))
          << set.name << "/" << entry.path().filename().string() << " differs";
      ++compared;
    }
    EXPECT_GT(compared, 40u) << set.name;
    fs::remove_all(outDir);
  }
}

}  // namespace
