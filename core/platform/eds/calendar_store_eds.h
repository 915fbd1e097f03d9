// The Linux desktop's calendar service (Evolution Data Server) as a store of
// platform.h: the operations that differ from the stand-in's, under names of
// their own, for the layer that picks a store per call (store_choice.cpp).
// Its libraries are opened at run time (eds_library.h); without them every
// answer is that of a store whose access is restricted.
#pragma once

#include "platform.h"

namespace vantrel::platform::eds_store {

struct Store;
struct Calendar;
struct EventList;
struct StoreWatch;
using StoreRef = std::shared_ptr<Store>;
using CalendarRef = std::shared_ptr<const Calendar>;
using EventListRef = std::shared_ptr<const EventList>;

// fullAccess when the service's bus names are reachable, denied when a
// sandbox keeps them out of reach, restricted otherwise; the reason for
// either refusal goes to standard error once per process.
std::int64_t authorizationStatus();
// Why the status is not fullAccess now; nullopt when it is.
std::optional<std::string> unavailableReason();

// Throws PlatformError when the service does not answer within its deadline.
StoreRef newStore();
std::optional<std::vector<CalendarRef>> eventCalendars(Store& store);
std::optional<std::string> calendarIdentifier(const Calendar& calendar);
std::optional<std::string> calendarTitle(const Calendar& calendar);
std::optional<std::string> calendarSourceTitle(const Calendar& calendar);
std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar);
EventListRef eventsMatching(Store& store, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars);
std::size_t eventCount(const EventList& events);
void readEvent(const EventList& events, std::size_t index, EventValues& into);
const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& into);
StoreWatch* startStoreWatch(StoreChanged changed);
void stopStoreWatch(StoreWatch* watch);

}  // namespace vantrel::platform::eds_store
