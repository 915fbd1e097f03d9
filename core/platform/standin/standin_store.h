// The stand-in's answers to the operations of platform.h, under names of their
// own, so that one layer can hold it beside another store and pick per call.
#pragma once

#include "platform.h"

namespace vantrel::platform::standin_store {

struct Store;
struct Calendar;
struct EventList;
struct StoreWatch;
using StoreRef = std::shared_ptr<Store>;
using CalendarRef = std::shared_ptr<const Calendar>;
using EventListRef = std::shared_ptr<const EventList>;

std::int64_t authorizationStatus();
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
                                          EventDetailValues& scratch);
void requestFullAccess(const StoreRef& store, AccessCompletion completion);
void runOnOwnThread(std::function<void()> work);
void activateApplication();
std::optional<std::string> mainBundleIdentifier();
std::optional<std::string> mainBundleExecutablePath();
std::vector<std::string> processArguments();
StoreWatch* startStoreWatch(StoreChanged changed);
void stopStoreWatch(StoreWatch* watch);
double now();
void runLoopStep(double seconds);
bool onMainThread();
void turnMainRunLoop();

}  // namespace vantrel::platform::standin_store
