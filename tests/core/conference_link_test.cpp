// The join link: every service's links are found, lookalikes and other schemes
// are not, and the link ends where the prose around it begins.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "conference_link.h"

namespace vantrel {
namespace {

struct Case {
  std::string text;
  std::optional<std::string> link;
};

TEST(ConferenceLink, KnownServicesOnlyAsWritten) {
  const Case cases[] = {
      {"https://us02web.zoom.us/j/812?pwd=Ab.1", "https://us02web.zoom.us/j/812?pwd=Ab.1"},
      {"Join: https://zoom.com/j/1.", "https://zoom.com/j/1"},
      {"https://meet.google.com/abc-defg-hij", "https://meet.google.com/abc-defg-hij"},
      {"<https://teams.microsoft.com/l/meetup-join/19%3a/0?context=%7b%7d>",
       "https://teams.microsoft.com/l/meetup-join/19%3a/0?context=%7b%7d"},
      {"https://teams.live.com/meet/9", "https://teams.live.com/meet/9"},
      {"https://acme.webex.com/meet/bo", "https://acme.webex.com/meet/bo"},
      {"https://global.gotomeeting.com/join/1 or https://meet.goto.com/2",
       "https://global.gotomeeting.com/join/1"},
      {"https://whereby.com/room", "https://whereby.com/room"},
      {"https://meet.jit.si/Standup", "https://meet.jit.si/Standup"},
      {"https://facetime.apple.com/join#v=1&p=x", "https://facetime.apple.com/join#v=1&p=x"},
      {"https://app.slack.com/huddle/T1/C2", "https://app.slack.com/huddle/T1/C2"},
      {"https://chime.aws/123", "https://chime.aws/123"},
      // Case, ports, user-info, a fully qualified name, markup and prose around it.
      {"HTTPS://ZOOM.US/j/1", "HTTPS://ZOOM.US/j/1"},
      {"https://zoom.us:443/j/1", "https://zoom.us:443/j/1"},
      {"https://me:pw@zoom.us/j/1", "https://me:pw@zoom.us/j/1"},
      {"https://zoom.us./j/1", "https://zoom.us./j/1"},
      {"(see https://meet.google.com/x).", "https://meet.google.com/x"},
      {"[Join](https://zoom.us/j/1)", "https://zoom.us/j/1"},
      {"https://zoom.us/j/(1)", "https://zoom.us/j/(1)"},
      {"**https://zoom.us/j/1**", "https://zoom.us/j/1"},
      {"<a href=\"https://zoom.us/j/1\">join</a>", "https://zoom.us/j/1"},
      {"https://meet.google.com!", "https://meet.google.com"},
      {"Join at https://zoom.us:?", "https://zoom.us"},
      {"https://zoom.us/j/1\u2014call", "https://zoom.us/j/1"},
      // Other scripts in the path, query and fragment are the link's; their prose is not.
      {"https://meet.jit.si/R\u00E9union\u00C9quipe",
       "https://meet.jit.si/R\u00E9union\u00C9quipe"},
      {"https://meet.jit.si/\u041F\u043B\u0430\u043D?\u00E9=1#\u00DF.",
       "https://meet.jit.si/\u041F\u043B\u0430\u043D?\u00E9=1#\u00DF"},
      {"\u00ABhttps://meet.jit.si/Caf\u00E9\u00BB", "https://meet.jit.si/Caf\u00E9"},
      {"https://meet.jit.si/\u4F1A\u8B70\u3002\u6B21", "https://meet.jit.si/\u4F1A\u8B70"},
      // A redirect's parameter: decoded, up to the redirect's next parameter.
      {"https://www.google.com/url?q=https://meet.google.com/abc-defg-hij&sa=D&source=calendar",
       "https://meet.google.com/abc-defg-hij"},
      {"https://www.google.com/url?q=https://zoom.us/j/1?pwd%3Da%26b%3D1&sa=D",
       "https://zoom.us/j/1?pwd=a&b=1"},
      // The first link to a known service, in text order.
      {"https://example.com/a https://zoom.us/j/2 https://zoom.us/j/3", "https://zoom.us/j/2"},
      {"https://example.com/?u=https://zoom.us/j/4", "https://zoom.us/j/4"},
      // Not a join link.
      {"https://zoom.us.evil.example/j/1", std::nullopt},
      {"https://evilzoom.us/j/1", std::nullopt},
      {"https://zoom.us@evil.example/j/1", std::nullopt},
      {"https://zoom.us:evil.example/j/1", std::nullopt},
      {"https://zo\u043Em.us/j/1", std::nullopt},
      {"https://xn--zm-ykl.us/j/1", std::nullopt},
      {"https://zoom.us\u00E9/j/1", std::nullopt},
      {"http://zoom.us/j/1", std::nullopt},
      {"zoom.us/j/1", std::nullopt},
      {"xhttps://zoom.us/j/1 git+https://zoom.us/j/1", std::nullopt},
      {"https://zoom.\nus/j/1", std::nullopt},
      {"https://teams.microsoft.com/meetingOptions/?id=1", std::nullopt},
      {"https://app.slack.com/client/T1", std::nullopt},
      {"https://[::1]/j/1 https:// https://", std::nullopt},
      {"https://zoom.us:65536/j/1 https://zoom.us:99999999999999999999/j/1", std::nullopt},
      {"https://a..zoom.us/j/1 https://.zoom.us/j/1", std::nullopt},
      {"https://meet.jit.si/R\xE9union", std::nullopt},
      {"https://www.google.com/url?q=https://evil.example%2F@zoom.us/j/1&sa=D", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto found = findConferenceLink(c.text);
    EXPECT_EQ(found ? std::optional<std::string>(*found) : std::nullopt, c.link) << c.text;
  }
}

TEST(ConferenceLink, UrlThenLocationThenNotes) {
  EXPECT_EQ(conferenceLink("https://example.com", "https://zoom.us/j/1", "https://zoom.us/j/2"),
            "https://zoom.us/j/1");
  EXPECT_EQ(conferenceLink(std::nullopt, "Room 4", "https://zoom.us/j/2"), "https://zoom.us/j/2");
  EXPECT_EQ(conferenceLink(std::nullopt, std::nullopt, std::nullopt), std::nullopt);
}

TEST(ConferenceLink, MegabytesOfLinklessOrNestedTextEndInOneRead) {
  // Quadratic work here would take minutes, not milliseconds.
  std::string nested;
  for (int i = 0; i < 200000; ++i) nested += "https://";
  std::string noise(4 << 20, ':');
  EXPECT_EQ(findConferenceLink(nested + "zoom.us/j/1"), "https://zoom.us/j/1");
  EXPECT_EQ(findConferenceLink(noise + "https://zoom.us/j/1"), "https://zoom.us/j/1");
  std::string refused, malformed;
  for (int i = 0; i < 200000; ++i) refused += "?q=https://zoom.us/%00";
  for (int i = 0; i < 200000; ++i) malformed += "https://zoom.us/";
  EXPECT_EQ(findConferenceLink(refused), std::nullopt);
  EXPECT_EQ(findConferenceLink(malformed + "\xFF"), std::nullopt);
}

}  // namespace
}  // namespace vantrel
