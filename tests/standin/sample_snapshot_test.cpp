// The sample store shipped in the repository, read through the core, must give
// exactly the snapshot written out by hand beside it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "iso_date.h"
#include "json_writer.h"
#include "snapshot_reader.h"

namespace vantrel {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

TEST(SampleStoreTest, MarchSnapshotMatchesTheHandWrittenDocument) {
  const std::string samples = VANTREL_SAMPLES_DIR;
  ASSERT_EQ(setenv("VANTREL_STANDIN_STORE", (samples + "/standin-store.json").c_str(), 1), 0);
  std::string expected = readFile(samples + "/standin-store.snapshot.json");
  ASSERT_FALSE(expected.empty());

  auto start = parseIso("2026-03-01T00:00:00Z");
  auto end = parseIso("2026-04-01T00:00:00Z");
  ASSERT_TRUE(start && end);
  EXPECT_EQ(std::string(encodeSnapshot(readAuthorizedSnapshot(*start, *end)).get()), expected);
  unsetenv("VANTREL_STANDIN_STORE");
}

}  // namespace
}  // namespace vantrel
