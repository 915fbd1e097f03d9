#include "conference_link.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

#include "json_text.h"

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

// Whether `port` is a TCP port, or empty (the scheme's own).
bool isPort(std::string_view port) {
  unsigned long value = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > 65535) return false;
  }
  return true;
}

// The host of an authority ("user@host:port"), lower case into `buffer`;
// empty when it is not an ASCII DNS name or the port is not one.
std::string_view hostOf(std::string_view authority, std::array<char, kLongestHost + 1>& buffer) {
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
    if (!isPort(authority.substr(colon + 1))) return {};
    authority = authority.substr(0, colon);
  }
  if (authority.ends_with('.')) authority.remove_suffix(1);  // a fully qualified name
  if (authority.empty() || authority.size() > kLongestHost) return {};
  // ".zoom.us" and "a..zoom.us" resolve nowhere a service would send you.
  if (authority.front() == '.' || authority.find("..") != std::string_view::npos) return {};
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

// Letters of any script belong to a link as written (a room named
// "RéunionÉquipe"); white space and the punctuation of prose in other scripts
// (dashes, quotation marks, CJK full stops) end it as their ASCII kin do.
bool endsLinkAsProse(char32_t c) {
  return c <= 0xA0 || c == 0xAB || c == 0xBB || c == 0x1680 || (c >= 0x2000 && c <= 0x206F) ||
         (c >= 0x3000 && c <= 0x303F) || (c >= 0xFE10 && c <= 0xFE1F) ||
         (c >= 0xFE30 && c <= 0xFE4F) || c == 0xFEFF || (c >= 0xFF01 && c <= 0xFF0F) ||
         (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
         (c >= 0xFF5B && c <= 0xFF65);
}

// Where a link's path (or query, or fragment) that starts at `from` ends.
struct PathEnd {
  std::size_t end;
  bool malformed;  // a byte that is not UTF-8 where the link would go on
};

// The last URL character, less the prose's punctuation after it. A closing
// bracket stays when the link opened it (Wikipedia-style paths). A link that
// is a parameter's value in another link's query (`wrapped`) ends at that
// link's next parameter or its fragment.
PathEnd endOfPath(std::string_view text, std::size_t from, bool wrapped) {
  std::size_t end = from;
  long openParentheses = 0;
  long openBrackets = 0;
  while (end < text.size() && !endsLink(text[end])) {
    const char c = text[end];
    if (wrapped && (c == '&' || c == '#')) return {end, false};
    if (static_cast<unsigned char>(c) >= 0x80) {
      const auto* at = reinterpret_cast<const unsigned char*>(text.data()) + end;
      const auto* next = json_text::endOfSequence(
          at, reinterpret_cast<const unsigned char*>(text.data()) + text.size());
      if (next == nullptr) return {end, true};
      char32_t code = *at & (next - at == 2 ? 0x1F : next - at == 3 ? 0x0F : 0x07);
      for (const auto* p = at + 1; p != next; ++p) code = code << 6 | (*p & 0x3F);
      if (endsLinkAsProse(code)) break;
      end += static_cast<std::size_t>(next - at);
      continue;
    }
    openParentheses += c == '(' ? 1 : c == ')' ? -1 : 0;
    openBrackets += c == '[' ? 1 : c == ']' ? -1 : 0;
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
  return {end, false};
}

// The end of the join link whose scheme's "://" is at `colon`; nullopt when
// the link there is not one, with where reading it stopped when a byte that
// is not UTF-8 was met (`stoppedAt`, else untouched).
std::optional<std::size_t> endOfJoinLink(std::string_view text, std::size_t colon, bool wrapped,
                                         std::size_t& stoppedAt) {
  std::array<char, kLongestHost + 1> buffer;
  const std::size_t authorityStart = colon + 3;
  std::size_t authorityEnd = authorityStart;
  while (authorityEnd < text.size() && !endsAuthority(text[authorityEnd]) &&
         !(wrapped && text[authorityEnd] == '&')) {
    ++authorityEnd;
  }
  // Nothing after the host: what ends the text around it is prose's.
  const auto withoutPunctuation = [&](std::size_t end) {
    while (end > authorityStart && isTrailingPunctuation(text[end - 1])) --end;
    return end;
  };
  std::string_view path;
  if (authorityEnd < text.size() && !endsLink(text[authorityEnd]) && text[authorityEnd] != '\\') {
    path = text.substr(authorityEnd);
  } else {
    authorityEnd = withoutPunctuation(authorityEnd);
  }
  const std::string_view host =
      hostOf(text.substr(authorityStart, authorityEnd - authorityStart), buffer);
  if (host.empty() || !isJoinLink(host, path)) return std::nullopt;
  if (path.empty()) return authorityEnd;
  const PathEnd end = endOfPath(text, authorityEnd, wrapped);
  if (end.malformed) {
    stoppedAt = end.end;
    return std::nullopt;
  }
  // A path of prose's punctuation alone ("https://zoom.us:?") leaves the host
  // as if nothing followed it, so the link found is the one found alone.
  return end.end > authorityEnd ? end.end : withoutPunctuation(authorityEnd);
}

std::string percentDecoded(std::string_view text) {
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0'
           : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                    : -1;
  };
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

}  // namespace

std::optional<std::string> findConferenceLink(std::string_view text) {
  // Read once, ahead of the candidates: the last '?' of the current run of
  // link characters, after which that run is a link's query.
  std::size_t read = 0;
  std::size_t query = std::string_view::npos;
  // Each candidate's authority ends at the latest at the next "://", and a
  // candidate refused for what follows it skips the candidates inside that,
  // so the text is read a bounded number of times whatever it holds.
  for (std::size_t colon = text.find("://"); colon != std::string_view::npos;
       colon = text.find("://", colon + 1)) {
    if (!hasSchemeBefore(text, colon)) continue;
    const std::size_t linkStart = colon - 5;
    // A redirect's parameter (".../url?q=https://meet.google.com/x&sa=D"):
    // the link ends at the redirect's next parameter, and is written there
    // percent-encoded. The text before is read only for a link after '='.
    const bool afterEquals = linkStart > 0 && text[linkStart - 1] == '=';
    for (; afterEquals && read < linkStart; ++read) {
      if (endsLink(text[read])) query = std::string_view::npos;
      if (text[read] == '?') query = read;
    }
    const bool wrapped = afterEquals && query != std::string_view::npos;
    std::size_t stoppedAt = colon;
    const auto linkEnd = endOfJoinLink(text, colon, wrapped, stoppedAt);
    if (!linkEnd) {
      colon = stoppedAt;
      continue;
    }
    const std::string_view link = text.substr(linkStart, *linkEnd - linkStart);
    if (!wrapped) return std::string(link);
    // Decoded, it must still be a join link, whole: "%2F@" may have moved its host.
    std::string decoded = percentDecoded(link);
    std::size_t ignored = 0;
    if (endOfJoinLink(decoded, 5, false, ignored) == decoded.size()) return decoded;
    colon = *linkEnd - 1;
  }
  return std::nullopt;
}

std::optional<std::string> conferenceLink(std::optional<std::string_view> url,
                                          std::optional<std::string_view> location,
                                          std::optional<std::string_view> notes) {
  for (const auto& text : {url, location, notes}) {
    if (!text) continue;
    if (auto link = findConferenceLink(*text)) return link;
  }
  return std::nullopt;
}

}  // namespace vantrel
