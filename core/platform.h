// The operations the bridge needs from the operating system: the calendar store,
// the main bundle, the process, the clock and the run loop.
//
// Exactly one layer implements this header in each binary: the macOS layer over
// EventKit (calendar_store_mac.mm), the stand-in store that answers from a JSON
// document (calendar_store_standin.cpp), or the scriptable fake of the unit tests.
// Everything crosses as plain C++ values: texts are valid UTF-8 (a layer converts
// lossily, with U+FFFD, at its own edge), absent values are std::nullopt, instants
// are seconds since 1970-01-01T00:00:00Z.
//
// Operations that can fail throw PlatformError with the platform's own
// description of what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vantrel {

// An error reported by the platform; what() is the platform's description.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vantrel

namespace vantrel::platform {

using Instant = double;  // seconds since 1970-01-01T00:00:00Z

// Opaque objects of the layer. Handles keep what they point at alive.
struct Store;      // one calendar store (EKEventStore)
struct Calendar;   // one event calendar of a store
struct EventList;  // the answer to one event query, in the store's order

using StoreRef = std::shared_ptr<Store>;
using CalendarRef = std::shared_ptr<const Calendar>;
using EventListRef = std::shared_ptr<const EventList>;

// The values of the authorization status for events; others are possible.
enum class AuthorizationStatus : std::int64_t {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  fullAccess = 3,
  addEventsOnly = 4,
};

// The authorization status for events, as the store's integer (an
// AuthorizationStatus value, or another). Never cached.
std::int64_t authorizationStatus();

StoreRef newStore();

// The store's event calendars in its order; nullopt when it gives no list at all.
std::optional<std::vector<CalendarRef>> eventCalendars(Store& store);

std::optional<std::string> calendarIdentifier(const Calendar& calendar);
std::optional<std::string> calendarTitle(const Calendar& calendar);
// The title of the calendar's source; nullopt when it has no source or no title.
std::optional<std::string> calendarSourceTitle(const Calendar& calendar);
// The colour's components in its own colour space; nullopt when the calendar has
// no colour, an empty list for a colour without components.
std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar);

// One query over exactly these calendars; an empty list matches no event.
EventListRef eventsMatching(Store& store, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars);

std::size_t eventCount(const EventList& events);

// The properties of one event. The reader reuses one of these for every event,
// so a layer assigns into the texts and they keep their capacity.
struct EventValues {
  std::optional<std::string> itemIdentifier;
  std::optional<std::string> calendarIdentifier;  // of the event's calendar
  std::optional<std::string> title;
  std::optional<std::string> location;
  std::optional<Instant> start;
  std::optional<Instant> end;
  bool isAllDay = false;
  // The occurrence's original start in its series (EKEvent's occurrenceDate,
  // iCalendar's RECURRENCE-ID); for a single event its start. An occurrence
  // moved within or out of its series keeps it, so it and the item identifier
  // follow one occurrence through changes of its start.
  std::optional<Instant> occurrenceDate;
};
void readEvent(const EventList& events, std::size_t index, EventValues& into);

// One participant of an event (EKParticipant). The integers are the store's
// raw values, also ones outside the lists the bridge knows.
struct ParticipantValues {
  std::optional<std::string> name;
  std::optional<std::string> url;  // the absolute text of its URL
  std::int64_t status = 0;         // EKParticipantStatus
  std::int64_t role = 0;           // EKParticipantRole
  std::int64_t type = 0;           // EKParticipantType
  bool isCurrentUser = false;
  bool operator==(const ParticipantValues&) const = default;
};

// What a meeting note needs of an event, read only when it is asked for: the
// plain snapshot never pays for the attendees. An absent attendee list is nullopt.
struct EventDetailValues {
  std::optional<std::string> notes;
  std::optional<std::string> url;       // the absolute text of the event's URL
  std::optional<std::string> timeZone;  // its name; nullopt for a floating event
  std::int64_t availability = 0;        // EKEventAvailability
  std::int64_t status = 0;              // EKEventStatus
  bool hasRecurrenceRules = false;
  std::optional<ParticipantValues> organizer;
  std::optional<std::vector<ParticipantValues>> attendees;
  bool operator==(const EventDetailValues&) const = default;
};
// The event's details until the next call or until `events` goes: the layer's
// own where it keeps them (no copy), else `scratch`, reused as EventValues is.
const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& scratch);

// The answer to a full-access request: granted flag, and the description of the
// error the platform reported, if any.
using AccessCompletion =
    std::function<void(bool granted, std::optional<std::string> error)>;

// Asks for full access. The completion runs exactly once, later and possibly on
// another thread, or never when the platform never answers. The layer keeps the
// store alive until the completion has run. It may run inside this call, or on
// a queue of the platform's whose other answers wait until it returns: a
// completion that has to wait hands its work to runOnOwnThread first.
void requestFullAccess(const StoreRef& store, AccessCompletion completion);

// Runs `work` once, soon, on a thread of the layer's own: never on the calling
// thread and never on a queue of the platform's, so `work` may wait without
// holding either. There the platform answers as it would on the calling
// thread. `work` must not throw. Throws PlatformError when no thread can be had.
void runOnOwnThread(std::function<void()> work);

// Brings the host application to the front; does nothing without one.
void activateApplication();

std::optional<std::string> mainBundleIdentifier();
std::optional<std::string> mainBundleExecutablePath();
// What the process information reports as the arguments, the program path first.
std::vector<std::string> processArguments();

// A watch of the calendar store's changes. `changed` runs on a thread of the
// layer's choosing whenever the store may have changed, once or several times
// per change; the core gathers bursts.
struct StoreWatch;
using StoreChanged = std::function<void()>;

// Starts a watch; nullptr, with nothing started, when the store cannot be watched.
StoreWatch* startStoreWatch(StoreChanged changed);
// Ends the watch and frees it. Once this returns, `changed` is not running and
// never runs again; so it must not be called from inside `changed`.
void stopStoreWatch(StoreWatch* watch);

// Seconds on a monotonic clock, from a point of the layer's choosing: a change
// of the wall clock must neither stretch nor cut short a wait.
double now();
// Turns the calling thread's run loop once, for at most `seconds`.
void runLoopStep(double seconds);

// The store's change notices reach a process only through its main thread's
// run loop (macOS posts them there), so a watch hears nothing while that loop
// stands still. A host whose main thread runs something else (libuv, in a
// plain `node`) turns it with turnMainRunLoop while a watch runs.

// Whether the calling thread is the process's main thread.
bool onMainThread();
// On the main thread: handles what its run loop has ready, without waiting.
// Does nothing on another thread, or inside a turn of that loop already under
// way (the host's own, as in Electron's main process).
void turnMainRunLoop();

}  // namespace vantrel::platform
