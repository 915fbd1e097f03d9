/*
 * For the module's range watch: one read that gives both the document and the
 * key that matches an occurrence across reads. Not part of the exported C
 * interface.
 */
#ifndef VANTREL_RANGE_WATCH_READ_H
#define VANTREL_RANGE_WATCH_READ_H

#ifdef __cplusplus
extern "C" {
#endif

/*
 * As tavimo_calendar_snapshot_of_calendars, with one more member after
 * "events": "occurrences", for each event at its position its item
 * identifier, "::" and its occurrence date (its original start in its series;
 * a single event's start) in whole milliseconds. An occurrence keeps that key
 * when it moves, while its "id" follows its start.
 */
char* vantrel_range_watch_read(const char* start_iso, const char* end_iso,
                               const char* calendar_ids_json, char** failure_text);

#ifdef __cplusplus
}
#endif

#endif
