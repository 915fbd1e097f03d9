// The real EventKit job's fixture (.github/workflows/macos.yml): a local
// calendar with fixed events, made and removed through EventKit itself.
//
//   eventkit_fixture create OUT.json   makes the calendar, writes its identifiers
//   eventkit_fixture remove CALENDAR   removes the calendar and its events
//   eventkit_fixture add-event CALENDAR  adds one more event to it, as another
//                                      app or a sync would
//
// Build: clang -fobjc-arc -framework EventKit -framework Foundation
//        -framework CoreGraphics eventkit_fixture.m -o eventkit_fixture
#import <CoreGraphics/CoreGraphics.h>
#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>

static void fail(NSString* what, NSError* error) {
  fprintf(stderr, "eventkit_fixture: %s%s%s\n", what.UTF8String, error ? ": " : "",
          error ? error.localizedDescription.UTF8String : "");
  exit(1);
}

static NSDate* date(NSString* iso) {
  NSISO8601DateFormatter* formatter = [[NSISO8601DateFormatter alloc] init];
  NSDate* result = [formatter dateFromString:iso];
  if (result == nil) fail([@"bad date " stringByAppendingString:iso], nil);
  return result;
}

static EKEventStore* grantedStore(void) {
  EKEventStore* store = [[EKEventStore alloc] init];
  dispatch_semaphore_t answered = dispatch_semaphore_create(0);
  __block BOOL granted = NO;
  [store requestFullAccessToEventsWithCompletion:^(BOOL ok, NSError* error) {
    granted = ok;
    if (error != nil) fprintf(stderr, "request: %s\n", error.localizedDescription.UTF8String);
    dispatch_semaphore_signal(answered);
  }];
  if (dispatch_semaphore_wait(answered, dispatch_time(DISPATCH_TIME_NOW, 30 * NSEC_PER_SEC)) != 0) {
    fail(@"no answer to the access request in 30 s", nil);
  }
  long status = (long)[EKEventStore authorizationStatusForEntityType:EKEntityTypeEvent];
  if (!granted || status != EKAuthorizationStatusFullAccess) {
    fail([NSString stringWithFormat:@"no full access (granted %d, status %ld)", granted, status], nil);
  }
  return store;
}

static EKSource* localSource(EKEventStore* store) {
  for (EKSource* source in store.sources) {
    if (source.sourceType == EKSourceTypeLocal) return source;
  }
  EKSource* fallback = store.defaultCalendarForNewEvents.source;
  if (fallback == nil) fail(@"no local calendar source", nil);
  return fallback;
}

static NSString* addEvent(EKEventStore* store, EKCalendar* calendar, NSString* title,
                          NSString* location, NSDate* start, NSDate* end, BOOL allDay,
                          EKRecurrenceRule* rule) {
  EKEvent* event = [EKEvent eventWithEventStore:store];
  event.calendar = calendar;
  event.title = title;
  event.location = location;
  event.startDate = start;
  event.endDate = end;
  event.allDay = allDay;
  // Timed events in UTC, so the weekly series keeps its hour across the
  // runner's daylight-saving changes; all-day events stay floating.
  if (!allDay) event.timeZone = [NSTimeZone timeZoneWithName:@"UTC"];
  if (rule != nil) event.recurrenceRules = @[ rule ];
  NSError* error = nil;
  if (![store saveEvent:event span:EKSpanFutureEvents commit:NO error:&error]) {
    fail([@"cannot save " stringByAppendingString:title], error);
  }
  return event.calendarItemIdentifier;
}

static void create(NSString* output) {
  EKEventStore* store = grantedStore();
  EKCalendar* calendar = [EKCalendar calendarForEntityType:EKEntityTypeEvent eventStore:store];
  calendar.title = @"Vantrel CI";
  calendar.source = localSource(store);
  CGColorRef red = CGColorCreateSRGB(1.0, 0.0, 0.0, 1.0);
  calendar.CGColor = red;
  CGColorRelease(red);
  NSError* error = nil;
  if (![store saveCalendar:calendar commit:YES error:&error]) fail(@"cannot save the calendar", error);

  EKRecurrenceRule* weekly = [[EKRecurrenceRule alloc]
      initRecurrenceWithFrequency:EKRecurrenceFrequencyWeekly
                         interval:1
                              end:[EKRecurrenceEnd recurrenceEndWithOccurrenceCount:4]];
  NSDictionary* ids = @{
    @"weekly" : addEvent(store, calendar, @"Weekly sync", nil, date(@"2026-03-02T09:00:00Z"),
                         date(@"2026-03-02T10:00:00Z"), NO, weekly),
    @"allDay" : addEvent(store, calendar, @"Holiday", nil, date(@"2026-03-10T00:00:00Z"),
                         date(@"2026-03-10T00:00:00Z"), YES, nil),
    @"titled" : addEvent(store, calendar, @"Caf\u00e9 \u2615\ufe0f \"quoted\" a/b\\c \U0001F4C5", nil,
                         date(@"2026-03-11T14:30:00Z"), date(@"2026-03-11T15:00:00Z"), NO, nil),
    @"located" : addEvent(store, calendar, @"Planning", @"Room 4 / Floor 2",
                          date(@"2026-03-12T08:00:00Z"), date(@"2026-03-12T09:15:00Z"), NO, nil),
    @"later" : addEvent(store, calendar, @"Five years on", nil, date(@"2031-06-02T10:00:00Z"),
                        date(@"2031-06-02T11:00:00Z"), NO, nil),
  };
  if (![store commit:&error]) fail(@"cannot commit the events", error);

  NSDictionary* fixture = @{@"calendarId" : calendar.calendarIdentifier, @"ids" : ids};
  NSData* json = [NSJSONSerialization dataWithJSONObject:fixture options:0 error:&error];
  if (json == nil || ![json writeToFile:output atomically:YES]) fail(@"cannot write the fixture", error);
}

static void removeCalendar(NSString* identifier) {
  EKEventStore* store = grantedStore();
  EKCalendar* calendar = [store calendarWithIdentifier:identifier];
  if (calendar == nil) return;
  NSError* error = nil;
  if (![store removeCalendar:calendar commit:YES error:&error]) fail(@"cannot remove the calendar", error);
}

static void addOneEvent(NSString* identifier) {
  EKEventStore* store = grantedStore();
  EKCalendar* calendar = [store calendarWithIdentifier:identifier];
  if (calendar == nil) fail([@"no calendar " stringByAppendingString:identifier], nil);
  addEvent(store, calendar, @"Added while watched", nil, date(@"2026-03-20T09:00:00Z"),
           date(@"2026-03-20T09:30:00Z"), NO, nil);
  NSError* error = nil;
  if (![store commit:&error]) fail(@"cannot commit the event", error);
}

int main(int argc, const char* argv[]) {
  @autoreleasepool {
    if (argc == 3 && strcmp(argv[1], "create") == 0) {
      create(@(argv[2]));
    } else if (argc == 3 && strcmp(argv[1], "remove") == 0) {
      removeCalendar(@(argv[2]));
    } else if (argc == 3 && strcmp(argv[1], "add-event") == 0) {
      addOneEvent(@(argv[2]));
    } else {
      fprintf(stderr, "usage: eventkit_fixture create OUT.json | remove CALENDAR_ID"
                      " | add-event CALENDAR_ID\n");
      return 2;
    }
  }
  return 0;
}
