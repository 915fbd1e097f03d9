#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace vantrel::testing {
namespace {

std::string fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(CommandInfoPlist, TheProgramCarriesTheFileByteForByte) {
  const std::string extracted = ::testing::TempDir() + "vantrel-embedded-info.plist";
#ifdef __APPLE__
  const std::string command = "xcrun segedit '" VANTREL_COMMAND_PATH
                              "' -extract __TEXT __info_plist '" + extracted + "'";
#else
  const std::string command = std::string("'") + VANTREL_OBJCOPY +
                              "' -O binary --only-section=.info_plist '" VANTREL_COMMAND_PATH
                              "' '" + extracted + "'";
#endif
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string embedded = fileBytes(extracted);
  std::remove(extracted.c_str());

  const std::string source = fileBytes(VANTREL_INFO_PLIST_PATH);
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(embedded, source);
}

}  // namespace
}  // namespace vantrel::testing
