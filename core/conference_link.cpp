#include "conference_link.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace vantrel {
namespace {

// Where each service's join links live. A host matches exactly or as a
// subdomain (us02web.zoom.us), never as a piece of a longer name
// (zoom.us.evil.example). Where a service's other pages (help, options,
// chats) share its host, the path says which links join a call.
struct MeetingService {
  std::string_view service;
  std::string_view host;  // lower case
  std::string_view pathPrefix;
};

constexpr MeetingService kMeetingServices[] = {
    {"Zoom", "zoom.us", ""},
    {"Zoom", "zoom.com", ""},
    {"Zoom", "zoomgov.com", ""},
    {"Google Meet", "meet.google.com", ""},
    {"Microsoft Teams", "teams.microsoft.com", "/l/meetup-join/"},
    {"Microsoft Teams", "teams.microsoft.com", "/meet/"},
    {"Microsoft Teams", "teams.live.com", "/meet/"},
    {"Webex", "webex.com", ""},
    {"GoTo", "gotomeeting.com", ""},
    {"GoTo", "meet.goto.com", ""},
    {"GoTo", "gotomeet.me", ""},
    {"Whereby", "whereby.com", ""},
    {"Jitsi", "meet.jit.si", ""},
    {"Jitsi", "8x8.vc", ""},
    {"FaceTime", "facetime.apple.com", ""},
    {"Slack huddles", "app.slack.com", "/huddle/"},
    {"Amazon Chime", "chime.aws", ""},
};

constexpr std::size_t kLongestHost = 253;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Characters no link holds: white space, controls and the ones RFC 3986 leaves
// out, which prose and markup put around links.
bool endsLink(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte <= 0x20 || byte == 0x7F) return true;
  return c == '<' || c == '>' || c == '"' || c == '`' || c == '{' || c == '}' || c == '|' ||
         c == '^';
}

bool endsAuthority(char c) { return c == '/' || c == '?' || c == '#' || c == '\\' || endsLink(c); }

// Punctuation that ends a sentence or a markup span rather than the link.
bool isTrailingPunctuation(char c) {
  return c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == '\'' ||
         c == '*' || c == ')' || c == ']';
}

bool hasSchemeBefore(std::string_view text, std::size_t colon) {
  constexpr std::string_view kScheme = "https";
  if (colon < kScheme.size()) return false;
  const std::size_t start = colon - kScheme.size();
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (lower(text[start + i]) != kScheme[i]) return false;
  }
  // "git+https://" or "xhttps://" is another scheme.
  if (start == 0) return true;
  const char before = text[start - 1];
  return !isAsciiLetterOrDigit(before) && before != '+' && before != '-' && before != '.';
}

// Whether `host` (lower case) is `known` or a subdomain of it.
bool isHostOf(std::string_view host, std::string_view known) {
  if (host.size() == known.size()) return host == known;
  return host.size() > known.size() && host.ends_with(known) &&
         host[host.size() - known.size() - 1] == '.';
}

// The host of an authority ("user@host:port"), lower case into `buffer`;
// empty when it is not an ASCII DNS name or the port is not a number.
std::string_view hostOf(std::string_view authority, std::array<char, kLongestHost + 1>& buffer) {
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return {};
    }
    authority = authority.substr(0, colon);
  }
  if (authority.ends_with('.')) authority.remove_suffix(1);  // a fully qualified name
  if (authority.empty() || authority.size() > kLongestHost) return {};
  for (std::size_t i = 0; i < authority.size(); ++i) {
    const char c = authority[i];
    if (!isAsciiLetterOrDigit(c) && c != '-' && c != '.') return {};
    buffer[i] = lower(c);
  }
  return {buffer.data(), authority.size()};
}

bool isJoinLink(std::string_view host, std::string_view path) {
  return std::any_of(std::begin(kMeetingServices), std::end(kMeetingServices),
                     [&](const MeetingService& service) {
                       return isHostOf(host, service.host) && path.starts_with(service.pathPrefix);
                     });
}

// The end of the link whose path (or query, or fragment) starts at `from`:
// the last URL character, less the prose's punctuation after it. A closing
// bracket stays when the link opened it (Wikipedia-style paths).
std::size_t endOfPath(std::string_view text, std::size_t from) {
  std::size_t end = from;
  long openParentheses = 0;
  long openBrackets = 0;
  while (end < text.size() && !endsLink(text[end]) &&
         static_cast<unsigned char>(text[end]) < 0x80) {
    openParentheses += text[end] == '(' ? 1 : text[end] == ')' ? -1 : 0;
    openBrackets += text[end] == '[' ? 1 : text[end] == ']' ? -1 : 0;
    ++end;
  }
  while (end > from && isTrailingPunctuation(text[end - 1])) {
    const char last = text[end - 1];
    if (last == ')' && openParentheses >= 0) break;
    if (last == ']' && openBrackets >= 0) break;
    if (last == ')') ++openParentheses;
    if (last == ']') ++openBrackets;
    --end;
  }
  return end;
}

}  // namespace

std::optional<std::string_view> findConferenceLink(std::string_view text) {
  std::array<char, kLongestHost + 1> buffer;
  // Each candidate's authority ends at the latest at the next "://", so the
  // text is read a bounded number of times whatever it holds.
  for (std::size_t colon = text.find("://"); colon != std::string_view::npos;
       colon = text.find("://", colon + 1)) {
    if (!hasSchemeBefore(text, colon)) continue;
    const std::size_t authorityStart = colon + 3;
    std::size_t authorityEnd = authorityStart;
    while (authorityEnd < text.size() && !endsAuthority(text[authorityEnd])) ++authorityEnd;
    std::size_t linkEnd = 0;
    std::string_view path;
    if (authorityEnd < text.size() && !endsLink(text[authorityEnd]) &&
        text[authorityEnd] != '\\') {
      path = text.substr(authorityEnd);
    } else {
      // Nothing after the host: what ends the text around it is prose's.
      while (authorityEnd > authorityStart && isTrailingPunctuation(text[authorityEnd - 1])) {
        --authorityEnd;
      }
      linkEnd = authorityEnd;
    }
    const std::string_view host =
        hostOf(text.substr(authorityStart, authorityEnd - authorityStart), buffer);
    if (host.empty() || !isJoinLink(host, path)) continue;
    if (!path.empty()) linkEnd = endOfPath(text, authorityEnd);
    const std::size_t linkStart = colon - 5;
    return text.substr(linkStart, linkEnd - linkStart);
  }
  return std::nullopt;
}

std::optional<std::string_view> conferenceLink(std::optional<std::string_view> url,
                                               std::optional<std::string_view> location,
                                               std::optional<std::string_view> notes) {
  for (const auto& text : {url, location, notes}) {
    if (!text) continue;
    if (auto link = findConferenceLink(*text)) return link;
  }
  return std::nullopt;
}

}  // namespace vantrel
