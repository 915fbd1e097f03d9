// The details document of a store that uses every meeting-note key and every
// value of each enumeration, against the text written by hand.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "standin_test_document.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

constexpr const char* kStore = R"({"calendars":[{"id":"a"}],"events":[
{"id":"e1","calendar":"a","start":"2026-03-02T09:00:00Z","end":"2026-03-02T10:00:00Z",
 "location":"https://meet.google.com/abc-defg-hij",
 "notes":" Agenda:\n1. \"Plan\" / review https://zoom.us/j/1 ","url":"https://example.com/e1",
 "timeZone":"Europe/Berlin","availability":-1,"status":0,"recurring":true,
 "organizer":{"name":"Ana","url":"mailto:ana@example.com","status":2,"role":3,"type":1,"isCurrentUser":true},
 "attendees":[{"name":"Bo","url":"MAILTO:bo@example.com","status":0,"role":0,"type":0},
              {"url":"https://people.example/cy","status":1,"role":1,"type":2},
              {"name":null,"url":null,"status":3,"role":2,"type":3}]},
{"id":"e2","calendar":"a","start":"2026-03-02T10:00:00Z","end":"2026-03-02T11:00:00Z",
 "url":"https://teams.microsoft.com/l/meetup-join/1","availability":0,"status":1,
 "organizer":null,"attendees":null},
{"id":"e3","calendar":"a","start":"2026-03-02T11:00:00Z","end":"2026-03-02T12:00:00Z",
 "notes":"Call https://zoom.us/j/9.","availability":1,"status":2,"attendees":[]},
{"id":"e4","calendar":"a","start":"2026-03-02T12:00:00Z","end":"2026-03-02T13:00:00Z",
 "availability":2,"status":3,
 "attendees":[{"status":4,"role":4,"type":4},{"status":5,"role":5,"type":-1}]},
{"id":"e5","calendar":"a","start":"2026-03-02T13:00:00Z","end":"2026-03-02T14:00:00Z",
 "availability":3,"status":9,
 "attendees":[{"status":6},{"status":7},{"status":8}]},
{"id":"e6","calendar":"a","start":"2026-03-02T14:00:00Z","end":"2026-03-02T15:00:00Z",
 "availability":7,"status":-9223372036854775808},
{"id":"e7","calendar":"a","start":"2026-03-02T15:00:00Z","end":"2026-03-02T16:00:00Z"}]})";

// Person keys: email, isCurrentUser, name, role, status, type, url.
constexpr const char* kExpected =
    R"({"events":[)"
    R"({"attendees":[)"
    R"({"email":"bo@example.com","isCurrentUser":false,"name":"Bo","role":"unknown","status":"unknown","type":"unknown"},)"
    R"({"isCurrentUser":false,"role":"required","status":"pending","type":"room","url":"https:\/\/people.example\/cy"},)"
    R"({"isCurrentUser":false,"role":"optional","status":"declined","type":"resource"}],)"
    R"("availability":"not-supported","conferenceUrl":"https:\/\/meet.google.com\/abc-defg-hij",)"
    R"("id":"e1::1772442000000","notes":" Agenda:\n1. \"Plan\" \/ review https:\/\/zoom.us\/j\/1 ",)"
    R"("organizer":{"email":"ana@example.com","isCurrentUser":true,"name":"Ana","role":"chair","status":"accepted","type":"person"},)"
    R"("recurring":true,"status":"none","timeZone":"Europe\/Berlin","url":"https:\/\/example.com\/e1"},)"
    R"({"attendees":[],"availability":"busy",)"
    R"("conferenceUrl":"https:\/\/teams.microsoft.com\/l\/meetup-join\/1","id":"e2::1772445600000",)"
    R"("recurring":false,"status":"confirmed","url":"https:\/\/teams.microsoft.com\/l\/meetup-join\/1"},)"
    R"({"attendees":[],"availability":"free","conferenceUrl":"https:\/\/zoom.us\/j\/9",)"
    R"("id":"e3::1772449200000","notes":"Call https:\/\/zoom.us\/j\/9.","recurring":false,"status":"tentative"},)"
    R"({"attendees":[)"
    R"({"isCurrentUser":false,"role":"non-participant","status":"tentative","type":"group"},)"
    R"({"isCurrentUser":false,"role":"unknown-5","status":"delegated","type":"unknown--1"}],)"
    R"("availability":"tentative","id":"e4::1772452800000","recurring":false,"status":"canceled"},)"
    R"({"attendees":[)"
    R"({"isCurrentUser":false,"role":"unknown","status":"completed","type":"unknown"},)"
    R"({"isCurrentUser":false,"role":"unknown","status":"in-process","type":"unknown"},)"
    R"({"isCurrentUser":false,"role":"unknown","status":"unknown-8","type":"unknown"}],)"
    R"("availability":"unavailable","id":"e5::1772456400000","recurring":false,"status":"unknown-9"},)"
    R"({"attendees":[],"availability":"unknown-7","id":"e6::1772460000000","recurring":false,)"
    R"("status":"unknown--9223372036854775808"},)"
    R"({"attendees":[],"availability":"busy","id":"e7::1772463600000","recurring":false,"status":"none"})"
    R"(]})";

TEST(StandinDetailsDocument, EveryKeyAndEveryValueAsWrittenByHand) {
  const standin_test::TestDocument document(kStore);
  char* failure = nullptr;
  char* text = tavimo_calendar_details("2026-03-02T00:00:00Z", "2026-03-03T00:00:00Z", &failure);
  ASSERT_NE(text, nullptr) << failure;
  EXPECT_EQ(std::string(text), kExpected);
  tavimo_calendar_string_free(text);
}

TEST(StandinDetailsDocument, ThousandsOfAttendeesAndMegabytesOfNotesComeThroughWhole) {
  // Each control character takes six bytes escaped, the most the writer allows for.
  std::string notes;
  for (int i = 0; i < (1 << 20); ++i) notes += "\\u0001";
  std::string attendees;
  for (int i = 0; i < 5000; ++i) {
    attendees += (i == 0 ? "" : ",") + std::string(R"({"name":"P\"/)") + std::to_string(i) + R"("})";
  }
  const standin_test::TestDocument document(
      R"({"calendars":[{"id":"a"}],"events":[{"calendar":"a","start":0,"end":1,"notes":")" + notes +
      R"(","attendees":[)" + attendees + "]}]}");
  char* text = tavimo_calendar_details("1970-01-01T00:00:00Z", "1970-01-02T00:00:00Z", nullptr);
  ASSERT_NE(text, nullptr);
  const nlohmann::json event = nlohmann::json::parse(text)["events"][0];
  tavimo_calendar_string_free(text);
  EXPECT_EQ(event["notes"], std::string(1 << 20, '\x01'));
  ASSERT_EQ(event["attendees"].size(), 5000u);
  EXPECT_EQ(event["attendees"][4999]["name"], "P\"/4999");
}

}  // namespace
}  // namespace vantrel
