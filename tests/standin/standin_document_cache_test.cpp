// The document is parsed once per file identity: a change of the file or of
// the variable takes effect at the next operation, an unchanged file is not
// read again, and a store keeps the document it was created with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>

#include "platform.h"
#include "standin_store_variable.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

void setModified(const std::string& path, time_t seconds) {
  const timespec times[2] = {{0, UTIME_NOW}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(StandinDocumentCache, RewrittenFileTakesEffect) {
  const TestDocument document(R"({"status":0})");
  EXPECT_EQ(platform::authorizationStatus(), 0);
  document.write(R"({"status":12})");  // another size
  EXPECT_EQ(platform::authorizationStatus(), 12);

  setModified(document.path(), 1000);
  EXPECT_EQ(platform::authorizationStatus(), 12);
  document.write(R"({"status":13})");  // same size, only the time differs
  setModified(document.path(), 2000);
  EXPECT_EQ(platform::authorizationStatus(), 13);
}

TEST(StandinDocumentCache, RewriteThatPutsTheModificationTimeBackIsSeen) {
  const TestDocument document(R"({"status":21})");
  setModified(document.path(), 1000);
  EXPECT_EQ(platform::authorizationStatus(), 21);
  // Same size, the old time put back (cp -p, touch -r): the change time moved.
  document.write(R"({"status":22})");
  setModified(document.path(), 1000);
  EXPECT_EQ(platform::authorizationStatus(), 22);
}

TEST(StandinDocumentCache, RecentRewriteWithSameSizeAndTimeIsSeen) {
  const TestDocument document(R"({"status":41})");
  const time_t recent = time(nullptr);
  setModified(document.path(), recent);
  EXPECT_EQ(platform::authorizationStatus(), 41);
  document.write(R"({"status":42})");
  setModified(document.path(), recent);
  EXPECT_EQ(platform::authorizationStatus(), 42);
}

// Bytes this process has read so far (/proc/self/io).
std::uint64_t bytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value && key != "rchar:") {}
  return value;
}

TEST(StandinDocumentCache, RecentDocumentUnwrittenSinceItsReadIsNotReadAgain) {
#if !defined(__linux__)
  GTEST_SKIP() << "the stand-in hears writes through inotify, on Linux only";
#endif
  const TestDocument document(R"({"status":3,"bundleIdentifier":")" + std::string(4 << 20, 'a') +
                              R"("})");
  EXPECT_EQ(platform::authorizationStatus(), 3);
  const std::uint64_t before = bytesRead();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(platform::authorizationStatus(), 3);
  EXPECT_LT(bytesRead() - before, 1u << 20);
}

TEST(StandinDocumentCache, VariableChangeTakesEffect) {
  const TestDocument first(R"({"status":31})");
  const std::string firstPath = first.path();
  {
    const TestDocument second(R"({"status":32})");
    EXPECT_EQ(platform::authorizationStatus(), 32);
    setenv(standin_test::kVariable, firstPath.c_str(), 1);
    EXPECT_EQ(platform::authorizationStatus(), 31);
    setenv(standin_test::kVariable, second.path().c_str(), 1);
    EXPECT_EQ(platform::authorizationStatus(), 32);
  }
  EXPECT_EQ(platform::authorizationStatus(), 1);  // unset
}

// A value handed in (as the module does, from process.env) stands for the
// variable on its own thread only, until it ends; pairs nest.
TEST(StandinDocumentCache, HandedInValueStandsForTheVariableOnItsThread) {
  const TestDocument first(R"({"status":31})");
  const TestDocument second(R"({"status":32})");  // the variable names this one
  ASSERT_EQ(vantrel_standin_variable_begin(first.path().c_str()), 1);
  EXPECT_EQ(platform::authorizationStatus(), 31);
  std::thread([] { EXPECT_EQ(platform::authorizationStatus(), 32); }).join();
  ASSERT_EQ(vantrel_standin_variable_begin(nullptr), 1);
  EXPECT_EQ(platform::authorizationStatus(), 1);  // unset
  vantrel_standin_variable_end();
  EXPECT_EQ(platform::authorizationStatus(), 31);
  vantrel_standin_variable_end();
  EXPECT_EQ(platform::authorizationStatus(), 32);
}

TEST(StandinDocumentCache, StoreKeepsItsDocument) {
  const TestDocument document(
      R"({"calendars":[{"id":"a"}],"events":[{"id":"old","calendar":"a","start":0,"end":10}]})");
  const auto store = platform::newStore();
  const auto calendars = platform::eventCalendars(*store).value();
  document.write(
      R"({"calendars":[{"id":"a"}],"events":[{"id":"new!","calendar":"a","start":0,"end":10}]})");
  EXPECT_EQ(standin_test::eventIds(0, 10), std::vector<std::string>{"new!"});

  const auto events = platform::eventsMatching(*store, 0, 10, calendars);
  platform::EventValues values;
  ASSERT_EQ(platform::eventCount(*events), 1u);
  platform::readEvent(*events, 0, values);
  EXPECT_EQ(values.itemIdentifier, "old");
}

}  // namespace
}  // namespace vantrel
