// The platform seam over EventKit, AppKit and Foundation. Values are converted
// here and nothing else is decided here: trimming, defaults, labels and JSON stay
// in the portable core, where they are tested.
//
// Every entry runs inside its own @autoreleasepool, and so does the release of
// every handle's object. A call from JavaScript runs to its end before the
// host's run loop drains its pool, so a year of events read one by one through
// readEvent would otherwise pile up autoreleased objects in a long-lived
// Electron process; a pool per event keeps that flat. The last handle is let go
// on libuv's pool threads and on a plain node's main thread too, where nothing
// ever drains a pool.

#import <AppKit/AppKit.h>
#import <CoreFoundation/CoreFoundation.h>
#import <CoreGraphics/CoreGraphics.h>
#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <chrono>

#include "platform.h"
#include "utf16_to_utf8.h"
#include "vantrel_host.h"

#if !__has_feature(objc_arc)
#error "calendar_store_mac.mm is written for ARC (-fobjc-arc)"
#endif

namespace vantrel::platform {

// ARC releases the strong references when the core drops the last handle,
// inside a pool of their own: a store or an event list that is freed releases
// a great many objects, some of them autoreleased.
struct Store {
  explicit Store(EKEventStore* made) : store(made) {}
  ~Store() {
    @autoreleasepool {
      store = nil;
    }
  }
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  EKEventStore* store;
};
struct Calendar {
  explicit Calendar(EKCalendar* listed) : calendar(listed) {}
  ~Calendar() {
    @autoreleasepool {
      calendar = nil;
    }
  }
  Calendar(const Calendar&) = delete;
  Calendar& operator=(const Calendar&) = delete;
  EKCalendar* calendar;
};
struct EventList {
  explicit EventList(NSArray<EKEvent*>* found) : events(found) {}
  ~EventList() {
    @autoreleasepool {
      events = nil;
    }
  }
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;
  NSArray<EKEvent*>* events;
};

namespace {

// Total: an unpaired surrogate, for which UTF8String gives nothing, becomes
// U+FFFD, and an inner U+0000 is kept instead of ending the text.
void assignUtf8(NSString* text, std::string& into) {
  assignUtf8FromUtf16Pieces(
      text.length,
      [text](unichar* units, std::size_t at, std::size_t count) {
        [text getCharacters:units range:NSMakeRange(at, count)];
      },
      into);
}

// Keeps the capacity of a text the reader reuses from event to event.
void assignText(NSString* _Nullable text, std::optional<std::string>& into) {
  if (text == nil) {
    into.reset();
    return;
  }
  if (!into) into.emplace();
  assignUtf8(text, *into);
}

std::optional<std::string> optionalText(NSString* _Nullable text) {
  std::optional<std::string> result;
  assignText(text, result);
  return result;
}

std::optional<Instant> instant(NSDate* _Nullable date) {
  if (date == nil) return std::nullopt;
  return date.timeIntervalSince1970;
}

// With no wait, one pass of the run loop fires at most one or two ready
// sources; this many passes handle what has gathered between two turns.
constexpr int kMainRunLoopPasses = 16;

// Made once and kept for the life of the process.
CGColorSpaceRef _Nullable sRGBColorSpace() {
  static CGColorSpaceRef const space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
  return space;
}

}  // namespace

std::int64_t authorizationStatus() {
  @autoreleasepool {
    return static_cast<std::int64_t>([EKEventStore authorizationStatusForEntityType:EKEntityTypeEvent]);
  }
}

StoreRef newStore() {
  EKEventStore* store = nil;
  @autoreleasepool {
    store = [[EKEventStore alloc] init];
  }
  // Thrown outside the pool: unwinding through @autoreleasepool skips its drain.
  // A missing store must not read as a calendar database with nothing in it.
  if (store == nil) throw PlatformError("The calendar store could not be opened.");
  return std::make_shared<Store>(store);
}

std::optional<std::vector<CalendarRef>> eventCalendars(Store& store) {
  @autoreleasepool {
    NSArray<EKCalendar*>* calendars = [store.store calendarsForEntityType:EKEntityTypeEvent];
    if (calendars == nil) return std::nullopt;
    std::vector<CalendarRef> list;
    list.reserve(calendars.count);
    for (EKCalendar* calendar in calendars) {
      list.push_back(std::make_shared<const Calendar>(calendar));
    }
    return list;
  }
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) {
  @autoreleasepool {
    return optionalText(calendar.calendar.calendarIdentifier);
  }
}

std::optional<std::string> calendarTitle(const Calendar& calendar) {
  @autoreleasepool {
    return optionalText(calendar.calendar.title);
  }
}

std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  @autoreleasepool {
    EKSource* source = calendar.calendar.source;
    if (source == nil) return std::nullopt;
    return optionalText(source.title);
  }
}

std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  @autoreleasepool {
    // Not retained: the calendar, which the handle keeps alive, owns it.
    CGColorRef color = calendar.calendar.CGColor;
    if (color == nullptr) return std::nullopt;
    // The core reads the components as sRGB red, green and blue: a Display
    // P3, extended-range, grey, CMYK or Lab colour is matched to sRGB first.
    // One that cannot be matched counts as no colour, not as wrong numbers.
    CGColorSpaceRef space = sRGBColorSpace();
    if (space == nullptr) return std::nullopt;
    CGColorRef converted =
        CGColorCreateCopyByMatchingToColorSpace(space, kCGRenderingIntentDefault, color, nullptr);
    if (converted == nullptr) return std::nullopt;
    const std::size_t count = CGColorGetNumberOfComponents(converted);
    const CGFloat* components = CGColorGetComponents(converted);
    std::vector<double> values;
    if (components != nullptr) values.assign(components, components + count);
    CGColorRelease(converted);
    return values;
  }
}

EventListRef eventsMatching(Store& store, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars) {
  // No calendar matches nothing; the store is not asked (nil would ask for
  // every calendar, and what it makes of an empty list is not documented).
  if (calendars.empty()) return std::make_shared<const EventList>(nil);
  @autoreleasepool {
    NSMutableArray<EKCalendar*>* list = [[NSMutableArray alloc] initWithCapacity:calendars.size()];
    for (const CalendarRef& calendar : calendars) [list addObject:calendar->calendar];
    NSPredicate* query = [store.store predicateForEventsWithStartDate:[NSDate dateWithTimeIntervalSince1970:start]
                                                              endDate:[NSDate dateWithTimeIntervalSince1970:end]
                                                            calendars:list];
    NSArray<EKEvent*>* events = [store.store eventsMatchingPredicate:query];
    return std::make_shared<const EventList>(events);
  }
}

std::size_t eventCount(const EventList& events) {
  @autoreleasepool {
    return events.events.count;
  }
}

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  @autoreleasepool {
    EKEvent* event = [events.events objectAtIndex:index];
    assignText(event.calendarItemIdentifier, into.itemIdentifier);
    assignText(event.calendar.calendarIdentifier, into.calendarIdentifier);
    assignText(event.title, into.title);
    assignText(event.location, into.location);
    into.start = instant(event.startDate);
    into.end = instant(event.endDate);
    into.isAllDay = event.isAllDay;
    // Nil only for an event not yet saved; a stored single event's is its start.
    into.occurrenceDate = instant(event.occurrenceDate);
    if (!into.occurrenceDate) into.occurrenceDate = into.start;
  }
}

namespace {

void assignUrl(NSURL* _Nullable url, std::optional<std::string>& into) {
  assignText(url == nil ? nil : url.absoluteString, into);
}

void readParticipant(EKParticipant* participant, ParticipantValues& into) {
  assignText(participant.name, into.name);
  assignUrl(participant.URL, into.url);
  into.status = static_cast<std::int64_t>(participant.participantStatus);
  into.role = static_cast<std::int64_t>(participant.participantRole);
  into.type = static_cast<std::int64_t>(participant.participantType);
  into.isCurrentUser = participant.isCurrentUser;
}

}  // namespace

const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& into) {
  @autoreleasepool {
    EKEvent* event = [events.events objectAtIndex:index];
    assignText(event.notes, into.notes);
    assignUrl(event.URL, into.url);
    NSTimeZone* zone = event.timeZone;
    assignText(zone == nil ? nil : zone.name, into.timeZone);
    into.availability = static_cast<std::int64_t>(event.availability);
    into.status = static_cast<std::int64_t>(event.status);
    into.hasRecurrenceRules = event.hasRecurrenceRules;
    EKParticipant* organizer = event.organizer;
    if (organizer == nil) {
      into.organizer.reset();
    } else {
      if (!into.organizer) into.organizer.emplace();
      readParticipant(organizer, *into.organizer);
    }
    NSArray<EKParticipant*>* attendees = event.attendees;
    if (attendees == nil) {
      into.attendees.reset();
      return into;
    }
    if (!into.attendees) into.attendees.emplace();
    // Resized, not cleared: each participant's texts keep their capacity.
    const NSUInteger count = attendees.count;
    into.attendees->resize(count);
    for (NSUInteger i = 0; i < count; ++i) {
      readParticipant([attendees objectAtIndex:i], (*into.attendees)[i]);
    }
    return into;
  }
}

void requestFullAccess(const StoreRef& store, AccessCompletion completion) {
  @autoreleasepool {
    // The block holds the store until the answer has come: a store released
    // while its request is pending would never call back.
    StoreRef pending = store;
    [store->store requestFullAccessToEventsWithCompletion:^(BOOL granted, NSError* _Nullable error) {
      // On a queue of the system's choosing; the answer goes on as it came and
      // the core decides what it means.
      @autoreleasepool {
        (void)pending;
        completion(granted, error == nil ? std::nullopt : optionalText(error.localizedDescription));
      }
    }];
  }
}

void runOnOwnThread(std::function<void()> work) {
  // Concurrent: two answers that both wait for the status wait side by side.
  static dispatch_queue_t const answers =
      dispatch_queue_create("Vantrel access answers", DISPATCH_QUEUE_CONCURRENT);
  dispatch_async(answers, ^{
    @autoreleasepool {
      work();
    }
  });
}

void activateApplication() {
  // AppKit may be used only on the main thread; a request from any other
  // thread (a worker, the pool) has the main thread bring the app to the
  // front, and never waits for it.
  void (^activate)(void) = ^{
    @autoreleasepool {
      // NSApp is nil in a command-line process, and a message to nil does nothing.
      NSApplication* application = NSApp;
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
      // -activate only asks the active app to yield; the dialog needs the host
      // in front. Only announced as deprecated, but an SDK may yet make it so.
      [application activateIgnoringOtherApps:YES];
#pragma clang diagnostic pop
    }
  };
  if (NSThread.isMainThread) {
    activate();
  } else {
    dispatch_async(dispatch_get_main_queue(), activate);
  }
}

std::optional<std::string> mainBundleIdentifier() {
  @autoreleasepool {
    return optionalText(NSBundle.mainBundle.bundleIdentifier);
  }
}

std::optional<std::string> mainBundleExecutablePath() {
  @autoreleasepool {
    return optionalText(NSBundle.mainBundle.executablePath);
  }
}

std::vector<std::string> processArguments() {
  @autoreleasepool {
    NSArray<NSString*>* arguments = NSProcessInfo.processInfo.arguments;
    std::vector<std::string> list;
    list.reserve(arguments.count);
    for (NSString* argument in arguments) {
      list.emplace_back();
      assignUtf8(argument, list.back());
    }
    return list;
  }
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool onMainThread() { return NSThread.isMainThread; }

void turnMainRunLoop() {
  if (!NSThread.isMainThread) return;
  // A turn under way (the host's, as in Electron's main process) has us
  // inside one of its callouts: handling sources here would re-enter it.
  CFRunLoopMode running = CFRunLoopCopyCurrentMode(CFRunLoopGetMain());
  if (running != nullptr) {
    CFRelease(running);
    return;
  }
  @autoreleasepool {
    for (int pass = 0; pass < kMainRunLoopPasses; ++pass) {
      if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) != kCFRunLoopRunHandledSource) break;
    }
  }
}

void runLoopStep(double seconds) {
  @autoreleasepool {
    NSDate* limit = [NSDate dateWithTimeIntervalSinceNow:seconds];
    BOOL ran = [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode beforeDate:limit];
    // A mode without sources (a command-line process) returns at once; waiting
    // out the step keeps the caller's loop from spinning a core for 30 seconds.
    if (!ran) [NSThread sleepUntilDate:limit];
  }
}

}  // namespace vantrel::platform

// The macOS layer reads nothing from the environment.
extern "C" const vantrel_layer_variable_hook* vantrel_layer_variable(void) { return nullptr; }
// Its status says all it knows.
extern "C" char* vantrel_unavailable_reason(void) { return nullptr; }
