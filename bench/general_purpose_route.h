// The snapshot job done the general-purpose way, for comparison in the same
// run: nlohmann-json objects, its dump, a pass that escapes slashes, and a
// strdup to hand the text out, as a first version of the bridge would.
#pragma once

namespace vantrel::bench {

// Reads through the same platform seam and gives the same bytes as
// tavimo_calendar_snapshot; NULL on any failure. Free the text with free().
char* nlohmannSnapshot(const char* startIso, const char* endIso);

}  // namespace vantrel::bench
