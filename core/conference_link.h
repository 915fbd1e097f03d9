// The link that joins an event's call: the first https link to a known meeting
// service in the event's URL, then its location, then its notes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The first https link in `text`, in text order, whose host is one of a known
// meeting service's (exactly, or a subdomain of it) and whose path starts as
// that service's join links do. The link is a piece of `text`, as written,
// without the punctuation of the prose around it; one that is a parameter of
// another link (a redirect's) is that parameter's value, percent-decoded.
// Linear in the text's length.
std::optional<std::string> findConferenceLink(std::string_view text);

// findConferenceLink of the URL, then of the location, then of the notes.
std::optional<std::string> conferenceLink(std::optional<std::string_view> url,
                                          std::optional<std::string_view> location,
                                          std::optional<std::string_view> notes);

}  // namespace vantrel
