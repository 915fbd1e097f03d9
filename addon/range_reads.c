/*
 * The reads behind the typed helpers' calendar filter and their range watch,
 * queued as snapshotAsync's are. A third argument names the calendars, as a
 * JSON array text; undefined or null reads every calendar.
 */
#include "tavimo_calendar.h"
#include "vantrel_host.h"
#include "vantrel_module.h"

static const char kRangeUsage[] =
    "Reading a range requires two date strings and the calendar ids as a string or null.";

napi_value SnapshotOfCalendarsAsync(napi_env env, napi_callback_info info) {
  return read_range_async(env, info, tavimo_calendar_snapshot_of_calendars, kRangeUsage, true);
}

napi_value DetailsOfCalendarsAsync(napi_env env, napi_callback_info info) {
  return read_range_async(env, info, tavimo_calendar_details_of_calendars, kRangeUsage, true);
}

napi_value RangeWatchReadAsync(napi_env env, napi_callback_info info) {
  return read_range_async(env, info, vantrel_range_watch_read, kRangeUsage, true);
}
