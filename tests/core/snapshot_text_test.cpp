// The snapshot written straight into one text while the events are read must
// be the very document that the records give, however far its room grows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "bridge_failure.h"
#include "fake_platform.h"
#include "json_writer.h"
#include "snapshot_reader.h"

namespace vantrel {
namespace {

using ::testing::ElementsAre;

struct FreeText {
  void operator()(char* text) const { std::free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

fake::Event event(std::string title, std::optional<std::string> location, double start) {
  fake::Event e;
  e.itemId = "E5F6A7B8-0000-4000-8000-000000000002";
  e.calendarId = "A1B2C3D4-0000-4000-8000-000000000001";
  e.title = std::move(title);
  e.location = std::move(location);
  e.start = start;
  e.end = start + 1800.25;
  return e;
}

class SnapshotTextTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  fake::Platform& store() { return fake::platform(); }
};

TEST_F(SnapshotTextTest, SameDocumentAsTheRecordsGive) {
  struct Case {
    const char* name;
    std::size_t events;
    std::string title;
    std::optional<std::string> location;
  };
  const Case cases[] = {
      {"no events", 0, "", std::nullopt},
      {"plain", 3, "Planning", "Room 4"},
      {"escapes and scripts", 40, " \"Q3\" \\ review / 会議 🎉\t", "  "},
      // Far beyond the room guessed per event, so the text grows many times.
      {"long texts", 200, std::string(5000, 'x') + "/\n", std::string(3000, 'y')},
      {"absent location", 5, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::reset();
    store().calendars =
        std::vector<fake::Calendar>{{"cal/1", "Work \"main\"", "iCloud", std::vector<double>{1, 0.5, 0}},
                                    {std::nullopt, "家族", std::nullopt, std::nullopt}};
    for (std::size_t i = 0; i < c.events; ++i) {
      store().events.push_back(event(c.title, c.location, 1772442000.0 + 86400.0 * i));
    }
    const std::string expected = encodeSnapshot(readAuthorizedSnapshot(1e9, 2e9)).get();
    const Text text(readAuthorizedSnapshotText(1e9, 2e9));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text.get()), expected);
  }
}

TEST_F(SnapshotTextTest, FailsAsTheRecordsAndEncoderDo) {
  store().status = 2;
  EXPECT_THROW(readAuthorizedSnapshotText(0, 1), AccessDenied);
  EXPECT_THAT(store().callLog(), ElementsAre("authorizationStatus"));

  for (const char* bad : {"\xFF", "ok \xC3", "\xED\xA0\x80"}) {
    fake::reset();
    store().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {}}};
    store().events = {event("Planning", "Room 4", 0), event("Planning", bad, 60)};
    try {
      Text text(readAuthorizedSnapshotText(-10, 100));
      FAIL() << "text that is not UTF-8 was written";
    } catch (BridgeFailure failure) {
      EXPECT_EQ(failure, BridgeFailure::invalidArguments);
    }
    EXPECT_EQ(store().storesAlive, 0) << "the store outlived the read";
  }
}

}  // namespace
}  // namespace vantrel
