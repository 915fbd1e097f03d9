// Which calendars a read covers, as a caller names them: a JSON array of
// calendar identifiers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace vantrel {

// Every calendar (nullopt), or those whose identifiers are listed.
using CalendarFilter = std::optional<std::vector<std::string>>;

// The texts of a JSON array of strings, in its order (white space allowed
// between its parts). Throws std::invalid_argument, with the text callers
// hear, for anything else: another value, a text that is not UTF-8, an
// unpaired surrogate escape, anything after the array.
std::vector<std::string> parseCalendarIds(std::string_view json);

// The calendars of `calendars` that `filter` lets through, in their order.
// Those without an identifier pass only when every calendar does.
std::vector<platform::CalendarRef> filterCalendars(std::vector<platform::CalendarRef> calendars,
                                                   const CalendarFilter& filter);

}  // namespace vantrel
