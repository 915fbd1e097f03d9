// Reads of the desktop's calendar service. One source registry and one client
// per calendar serve the whole process, made with a GLib context of the
// layer's own pushed, so that nothing of theirs is dispatched on a host's main
// loop (Electron's); what they queued there (the registry's news of sources)
// is handled at the start of each read. A backend closes with its last client
// and re-parses its calendar on reopening, so clients stay open between reads
// and are dropped once their source is gone.
#include "calendar_store_eds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "eds_colour.h"
#include "eds_service.h"
#include "standin_process.h"

namespace vantrel::platform::eds_store {

using eds::Library;

namespace {

// Reused for every instance of an event, whose component the service hands
// over once per occurrence.
struct Client {
  Client(const Library& library, ECalClient* client) : library(library), client(client) {}
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  const Library& library;
  ECalClient* client;
  std::once_flag emailRead;
  std::string email;  // the account's address, lower case; empty when unknown
  ~Client() { library.g_object_unref(client); }
};

class Service {
 public:
  explicit Service(const Library& library)
      : library_(library), context_(library.g_main_context_new()) {}

  // The enabled calendars, the registry brought up to date first.
  std::vector<CalendarRef> calendars(const eds::Deadline& deadline);
  std::shared_ptr<Client> client(const std::string& uid, ESource* source,
                                 const eds::Deadline& deadline);

 private:
  // What the registry and the clients queued on the layer's context.
  void handleQueued() {
    library_.g_main_context_acquire(context_);
    while (library_.g_main_context_iteration(context_, FALSE)) {
    }
    library_.g_main_context_release(context_);
  }

  const Library& library_;
  GMainContext* context_;
  std::mutex mutex_;
  ESourceRegistry* registry_ = nullptr;
  std::unordered_map<std::string, std::shared_ptr<Client>> clients_;
};

// Never destroyed: its objects belong to GLib, which outlives static destruction.
Service& service(const Library& library) {
  static auto* const instance = new Service(library);
  return *instance;
}

std::string text(const char* value) { return standin::validUtf8(value != nullptr ? value : ""); }

std::optional<std::string> optionalText(const char* value) {
  if (value == nullptr) return std::nullopt;
  return standin::validUtf8(value);
}

}  // namespace

struct Store {
  const Library* library = nullptr;
};

struct Calendar {
  // Takes over a reference of `source`; made in place only, as a copy would
  // let go of the same reference twice.
  Calendar(const Library& library, ESource* source) : library(library), source(source) {}
  Calendar(const Calendar&) = delete;
  Calendar& operator=(const Calendar&) = delete;
  ~Calendar() { library.g_object_unref(source); }
  const Library& library;
  ESource* source;
  std::string uid;
  std::optional<std::string> title;
  std::optional<std::string> sourceTitle;
  std::optional<std::vector<double>> colour;
};

// One occurrence, its times already instants.
struct Occurrence {
  ICalComponent* component;  // a reference of the list's
  std::uint32_t calendar;
  Instant start;
  Instant end;
  Instant occurrenceDate;  // RECURRENCE-ID of a moved occurrence, else its start
  bool allDay;
};

struct EventList {
  const Library* library = nullptr;
  std::vector<CalendarRef> calendars;
  std::vector<std::shared_ptr<Client>> clients;
  std::vector<Occurrence> occurrences;
  ~EventList() {
    for (const Occurrence& occurrence : occurrences) library->g_object_unref(occurrence.component);
  }
};

namespace {

std::vector<CalendarRef> Service::calendars(const eds::Deadline& deadline) {
  const std::lock_guard lock(mutex_);
  if (registry_ == nullptr) {
    library_.g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    registry_ = library_.e_source_registry_new_sync(deadline.cancellable(), &error);
    library_.g_main_context_pop_thread_default(context_);
    if (registry_ == nullptr) deadline.fail(error, "its source registry cannot be read");
  }
  handleQueued();
  GList* sources = library_.e_source_registry_list_enabled(registry_, E_SOURCE_EXTENSION_CALENDAR);
  std::vector<CalendarRef> calendars;
  for (GList* item = sources; item != nullptr; item = item->next) {
    auto* source = static_cast<ESource*>(item->data);  // the list's reference, taken over
    auto calendar = std::make_shared<Calendar>(library_, source);
    calendar->uid = text(library_.e_source_get_uid(source));
    calendar->title = optionalText(library_.e_source_get_display_name(source));
    if (const char* parentUid = library_.e_source_get_parent(source)) {
      if (ESource* parent = library_.e_source_registry_ref_source(registry_, parentUid)) {
        calendar->sourceTitle = optionalText(library_.e_source_get_display_name(parent));
        library_.g_object_unref(parent);
      }
    }
    auto* selectable =
        static_cast<ESourceSelectable*>(library_.e_source_get_extension(source, E_SOURCE_EXTENSION_CALENDAR));
    if (gchar* colour = library_.e_source_selectable_dup_color(selectable)) {
      calendar->colour = eds::colourComponents(colour);
      library_.g_free(colour);
    }
    calendars.push_back(std::move(calendar));
  }
  library_.g_list_free(sources);
  // A client whose calendar is gone or disabled keeps its backend open: drop it.
  std::erase_if(clients_, [&](const auto& entry) {
    return std::none_of(calendars.begin(), calendars.end(),
                        [&](const CalendarRef& calendar) { return calendar->uid == entry.first; });
  });
  return calendars;
}

std::shared_ptr<Client> Service::client(const std::string& uid, ESource* source,
                                        const eds::Deadline& deadline) {
  const std::lock_guard lock(mutex_);
  if (const auto found = clients_.find(uid); found != clients_.end()) return found->second;
  library_.g_main_context_push_thread_default(context_);
  GError* error = nullptr;
  // (guint32) -1: no wait for "connected", which a local calendar never reports.
  EClient* connected = library_.e_cal_client_connect_sync(
      source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, static_cast<guint32>(-1), deadline.cancellable(), &error);
  library_.g_main_context_pop_thread_default(context_);
  if (connected == nullptr) deadline.fail(error, ("calendar " + uid + " cannot be opened").c_str());
  auto* calendarClient = reinterpret_cast<ECalClient*>(connected);
  library_.e_cal_client_set_default_timezone(calendarClient, eds::defaultZone(library_));
  auto made = std::make_shared<Client>(library_, calendarClient);
  clients_.emplace(uid, made);
  return made;
}

// The wall clock of a floating or all-day time in the process's zone.
Instant wallClockInstant(const Library& library, ICalTime* time, GTimeZone* local) {
  gint year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  library.i_cal_time_get_date(time, &year, &month, &day);
  if (!library.i_cal_time_is_date(time)) library.i_cal_time_get_time(time, &hour, &minute, &second);
  GDateTime* local_time = library.g_date_time_new(local, year, month, day, hour, minute, second);
  if (local_time == nullptr) return 0;
  const auto instant = static_cast<Instant>(library.g_date_time_to_unix(local_time));
  library.g_date_time_unref(local_time);
  return instant;
}

Instant instantOf(const Library& library, ICalTime* time, bool floating, GTimeZone* local) {
  if (floating || library.i_cal_time_is_date(time)) return wallClockInstant(library, time, local);
  ICalTimezone* zone = library.i_cal_time_is_utc(time) ? library.i_cal_timezone_get_utc_timezone()
                                                        : library.i_cal_time_get_timezone(time);
  if (zone == nullptr) zone = library.i_cal_timezone_get_utc_timezone();
  return static_cast<Instant>(library.i_cal_time_as_timet_with_zone(time, zone));
}

struct Collecting {
  const Library& library;
  GTimeZone* local;
  EventList& list;
  std::uint32_t calendar;
  // The last component's DTSTART kind: a series hands over one component
  // per occurrence, mostly the same one.
  ICalComponent* lastComponent = nullptr;
  bool floating = false;
  bool allDay = false;
  std::optional<Instant> recurrenceId;
};

gboolean collect(ICalComponent* component, ICalTime* start, ICalTime* end, gpointer data,
                 GCancellable*, GError**) {
  auto& into = *static_cast<Collecting*>(data);
  const Library& library = into.library;
  if (component != into.lastComponent) {
    into.lastComponent = component;
    // The property's own value and TZID: the component's DTSTART would look
    // its zone up by name, which costs more than the rest of the occurrence.
    into.allDay = into.floating = false;
    if (ICalProperty* property =
            library.i_cal_component_get_first_property(component, I_CAL_DTSTART_PROPERTY)) {
      ICalTime* dtstart = library.i_cal_property_get_dtstart(property);
      ICalParameter* tzid = library.i_cal_property_get_first_parameter(property, I_CAL_TZID_PARAMETER);
      into.allDay = library.i_cal_time_is_date(dtstart);
      into.floating = !into.allDay && !library.i_cal_time_is_utc(dtstart) && tzid == nullptr;
      if (tzid != nullptr) library.g_object_unref(tzid);
      library.g_object_unref(dtstart);
      library.g_object_unref(property);
    }
    into.recurrenceId.reset();
    if (ICalProperty* property =
            library.i_cal_component_get_first_property(component, I_CAL_RECURRENCEID_PROPERTY)) {
      library.g_object_unref(property);
      if (ICalTime* id = library.i_cal_component_get_recurrenceid(component)) {
        into.recurrenceId = instantOf(library, id, into.floating, into.local);
        library.g_object_unref(id);
      }
    }
  }
  const Instant startInstant = instantOf(library, start, into.floating, into.local);
  const Instant endInstant = end != nullptr ? instantOf(library, end, into.floating, into.local)
                                            : startInstant;
  (library.g_object_ref)(component);
  into.list.occurrences.push_back(
      Occurrence{component, into.calendar, startInstant, endInstant,
                 into.recurrenceId.value_or(startInstant), into.allDay});
  return TRUE;
}

const Occurrence& occurrenceAt(const EventList& events, std::size_t index) {
  if (index >= events.occurrences.size()) {
    throw PlatformError("calendar service: event " + std::to_string(index) + " of " +
                        std::to_string(events.occurrences.size()) + " asked for");
  }
  return events.occurrences[index];
}

void assign(std::optional<std::string>& into, const char* value) {
  if (value == nullptr) {
    into.reset();
  } else if (into) {
    into->assign(standin::validUtf8(value));
  } else {
    into.emplace(standin::validUtf8(value));
  }
}

}  // namespace

std::int64_t authorizationStatus() {
  const auto why = eds::unavailable();
  if (!why) return static_cast<std::int64_t>(AuthorizationStatus::fullAccess);
  // Alone, a refusal looks like any other; the first one says why.
  static std::once_flag said;
  std::call_once(said, [&] {
    const std::string line = "calendar service: " + why->reason + "; so every answer is that of a "
                             "store whose access is " + (why->denied ? "denied" : "restricted") +
                             ". Set VANTREL_STANDIN_STORE to read a stand-in store document instead.\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  });
  return static_cast<std::int64_t>(why->denied ? AuthorizationStatus::denied
                                               : AuthorizationStatus::restricted);
}

std::optional<std::string> unavailableReason() {
  const auto why = eds::unavailable();
  return why ? std::optional<std::string>(why->reason) : std::nullopt;
}

// Nothing is asked of the service until the calendars are: a store is made
// before the status is known.
StoreRef newStore() { return std::make_shared<Store>(); }

std::optional<std::vector<CalendarRef>> eventCalendars(Store&) {
  const Library& library = eds::requireLibrary();
  const eds::Deadline deadline(library);
  return service(library).calendars(deadline);
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) { return calendar.uid; }
std::optional<std::string> calendarTitle(const Calendar& calendar) { return calendar.title; }
std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  return calendar.sourceTitle;
}
std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  return calendar.colour;
}

EventListRef eventsMatching(Store&, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars) {
  const Library& library = eds::requireLibrary();
  auto list = std::make_shared<EventList>();
  list->library = &library;
  if (calendars.empty() || !(start < end)) return list;
  GTimeZone* local = eds::newLocalZone(library);
  const std::unique_ptr<GTimeZone, void (*)(GTimeZone*)> unrefLocal(local, library.g_time_zone_unref);
  // Whole seconds that cover the range.
  const auto first = static_cast<time_t>(std::floor(start));
  const auto last = static_cast<time_t>(std::ceil(end));
  for (const CalendarRef& calendar : calendars) {
    // One per calendar: many large calendars may together take longer than one may.
    const eds::Deadline deadline(library);
    const auto index = static_cast<std::uint32_t>(list->calendars.size());
    std::shared_ptr<Client> client = service(library).client(calendar->uid, calendar->source, deadline);
    Collecting collecting{library, local, *list, index, nullptr, false, false, std::nullopt};
    library.e_cal_client_generate_instances_sync(client->client, first, last, deadline.cancellable(),
                                                 collect, &collecting);
    // The call reports no failure but through its cancellable.
    if (library.g_cancellable_is_cancelled(deadline.cancellable())) deadline.fail(nullptr, "");
    list->calendars.push_back(calendar);
    list->clients.push_back(std::move(client));
  }
  // The service orders each calendar by start; the list is one order for all.
  std::stable_sort(list->occurrences.begin(), list->occurrences.end(),
                   [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
  return list;
}

std::size_t eventCount(const EventList& events) { return events.occurrences.size(); }

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  const Occurrence& occurrence = occurrenceAt(events, index);
  const Library& library = *events.library;
  const Calendar& calendar = *events.calendars[occurrence.calendar];
  // A UID is unique within its calendar only: the item is the calendar's.
  const char* uid = library.i_cal_component_get_uid(occurrence.component);
  if (!into.itemIdentifier) into.itemIdentifier.emplace();
  into.itemIdentifier->assign(calendar.uid).append("/").append(
      standin::validUtf8(uid != nullptr ? uid : ""));
  if (into.calendarIdentifier) {
    into.calendarIdentifier->assign(calendar.uid);
  } else {
    into.calendarIdentifier.emplace(calendar.uid);
  }
  assign(into.title, library.i_cal_component_get_summary(occurrence.component));
  assign(into.location, library.i_cal_component_get_location(occurrence.component));
  into.start = occurrence.start;
  into.end = occurrence.end;
  into.isAllDay = occurrence.allDay;
  into.occurrenceDate = occurrence.occurrenceDate;
}

}  // namespace vantrel::platform::eds_store

namespace vantrel::platform::eds_store {

namespace {

// The values EventKit's enumerations give the same meanings; an absent
// parameter has its default of RFC 5545.
std::int64_t participantStatus(std::string_view value) {
  if (value.empty() || value == "NEEDS-ACTION") return 1;  // pending
  if (value == "ACCEPTED") return 2;
  if (value == "DECLINED") return 3;
  if (value == "TENTATIVE") return 4;
  if (value == "DELEGATED") return 5;
  if (value == "COMPLETED") return 6;
  if (value == "IN-PROCESS") return 7;
  return 0;
}

std::int64_t participantRole(std::string_view value) {
  if (value.empty() || value == "REQ-PARTICIPANT") return 1;  // required
  if (value == "OPT-PARTICIPANT") return 2;
  if (value == "CHAIR") return 3;
  if (value == "NON-PARTICIPANT") return 4;
  return 0;
}

std::int64_t participantType(std::string_view value) {
  if (value.empty() || value == "INDIVIDUAL") return 1;  // person
  if (value == "ROOM") return 2;
  if (value == "RESOURCE") return 3;
  if (value == "GROUP") return 4;
  return 0;
}

std::int64_t eventStatus(ICalPropertyStatus status) {
  switch (status) {
    case I_CAL_STATUS_CONFIRMED:
      return 1;
    case I_CAL_STATUS_TENTATIVE:
      return 2;
    case I_CAL_STATUS_CANCELLED:
      return 3;
    default:
      return 0;
  }
}

std::string lowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The address of a mailto: value, lower case; empty for another kind.
std::string mailAddress(std::string_view value) {
  if (value.size() < 7 || lowerCase(std::string(value.substr(0, 7))) != "mailto:") return {};
  return lowerCase(std::string(value.substr(7)));
}

std::string parameter(const Library& library, ICalProperty* property, const char* name) {
  gchar* value = library.i_cal_property_get_parameter_as_string(property, name);
  std::string text = value != nullptr ? value : "";
  library.g_free(value);
  return text;
}

ParticipantValues participant(const Library& library, ICalProperty* property, const char* value,
                              const std::string& ownAddress) {
  ParticipantValues read;
  const std::string name = parameter(library, property, "CN");
  if (!name.empty()) read.name = standin::validUtf8(name);
  if (value != nullptr) read.url = standin::validUtf8(value);
  read.status = participantStatus(parameter(library, property, "PARTSTAT"));
  read.role = participantRole(parameter(library, property, "ROLE"));
  read.type = participantType(parameter(library, property, "CUTYPE"));
  read.isCurrentUser = !ownAddress.empty() && value != nullptr && mailAddress(value) == ownAddress;
  return read;
}

// The account's address as the calendar's backend knows it, asked once per client.
const std::string& ownAddress(const Library& library, Client& client) {
  std::call_once(client.emailRead, [&] {
    const eds::Deadline deadline(library);
    gchar* value = nullptr;
    GError* error = nullptr;
    if (library.e_client_get_backend_property_sync(reinterpret_cast<EClient*>(client.client),
                                                   E_CAL_BACKEND_PROPERTY_CAL_EMAIL_ADDRESS,
                                                   &value, deadline.cancellable(), &error)) {
      if (value != nullptr) client.email = mailAddress(std::string("mailto:") + value);
    }
    if (error != nullptr) library.g_error_free(error);
    library.g_free(value);
  });
  return client.email;
}

bool hasProperty(const Library& library, ICalComponent* component, ICalPropertyKind kind) {
  ICalProperty* property = library.i_cal_component_get_first_property(component, kind);
  if (property == nullptr) return false;
  library.g_object_unref(property);
  return true;
}

// Each property of a kind, with the next one fetched before this one is let go.
template <typename Visit>
void eachProperty(const Library& library, ICalComponent* component, ICalPropertyKind kind,
                  Visit visit) {
  for (ICalProperty* property = library.i_cal_component_get_first_property(component, kind);
       property != nullptr;) {
    visit(property);
    library.g_object_unref(property);
    property = library.i_cal_component_get_next_property(component, kind);
  }
}

}  // namespace

const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& into) {
  const Occurrence& occurrence = occurrenceAt(events, index);
  const Library& library = *events.library;
  ICalComponent* component = occurrence.component;
  const std::string& own = ownAddress(library, *events.clients[occurrence.calendar]);

  assign(into.notes, library.i_cal_component_get_description(component));
  into.url.reset();
  eachProperty(library, component, I_CAL_URL_PROPERTY, [&](ICalProperty* property) {
    if (!into.url) assign(into.url, library.i_cal_property_get_url(property));
  });
  into.timeZone.reset();
  if (ICalTime* start = library.i_cal_component_get_dtstart(component)) {
    const char* tzid = library.i_cal_time_get_tzid(start);
    if (tzid != nullptr && !library.i_cal_time_is_date(start)) {
      std::string_view zone(tzid);
      // libical's own zones carry its prefix; the rest of the name is the IANA one.
      constexpr std::string_view kPrefix = "/freeassociation.sourceforge.net/";
      if (zone.starts_with(kPrefix)) zone.remove_prefix(kPrefix.size());
      if (zone.starts_with("Tzfile/")) zone.remove_prefix(7);
      into.timeZone = standin::validUtf8(zone);
    }
    library.g_object_unref(start);
  }
  into.availability = 0;  // busy: OPAQUE, also when absent
  eachProperty(library, component, I_CAL_TRANSP_PROPERTY, [&](ICalProperty* property) {
    const ICalPropertyTransp transp = library.i_cal_property_get_transp(property);
    if (transp == I_CAL_TRANSP_TRANSPARENT || transp == I_CAL_TRANSP_TRANSPARENTNOCONFLICT) {
      into.availability = 1;  // free
    }
  });
  into.status = eventStatus(library.i_cal_component_get_status(component));
  into.hasRecurrenceRules = hasProperty(library, component, I_CAL_RRULE_PROPERTY) ||
                            hasProperty(library, component, I_CAL_RDATE_PROPERTY) ||
                            hasProperty(library, component, I_CAL_RECURRENCEID_PROPERTY);
  into.organizer.reset();
  eachProperty(library, component, I_CAL_ORGANIZER_PROPERTY, [&](ICalProperty* property) {
    if (!into.organizer) {
      into.organizer = participant(library, property, library.i_cal_property_get_organizer(property), own);
    }
  });
  into.attendees.reset();
  eachProperty(library, component, I_CAL_ATTENDEE_PROPERTY, [&](ICalProperty* property) {
    if (!into.attendees) into.attendees.emplace();
    into.attendees->push_back(
        participant(library, property, library.i_cal_property_get_attendee(property), own));
  });
  return into;
}

}  // namespace vantrel::platform::eds_store
