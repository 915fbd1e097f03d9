// Declarations for the syntax check of the macOS layer: exactly the part of
// EventKit that the layer's files use, with the SDK's signatures,
// nullability and availability.
#pragma once

#include <CoreGraphics/CoreGraphics.h>
#include <Foundation/Foundation.h>

#define EVENTKIT_EXTERN extern "C" __attribute__((visibility("default")))

NS_ASSUME_NONNULL_BEGIN

typedef NS_ENUM(NSUInteger, EKEntityType) {
  EKEntityTypeEvent,
  EKEntityTypeReminder
};

typedef NS_ENUM(NSInteger, EKAuthorizationStatus) {
  EKAuthorizationStatusNotDetermined = 0,
  EKAuthorizationStatusRestricted,
  EKAuthorizationStatusDenied,
  EKAuthorizationStatusFullAccess API_AVAILABLE(macos(14.0), ios(17.0)),
  EKAuthorizationStatusWriteOnly API_AVAILABLE(macos(14.0), ios(17.0)),
  EKAuthorizationStatusAuthorized API_DEPRECATED("Use EKAuthorizationStatusFullAccess instead",
                                                 macos(10.9, 14.0), ios(6.0, 17.0)) =
      EKAuthorizationStatusFullAccess,
} API_AVAILABLE(macos(10.9), ios(6.0));

typedef NS_ENUM(NSInteger, EKParticipantType) {
  EKParticipantTypeUnknown,
  EKParticipantTypePerson,
  EKParticipantTypeRoom,
  EKParticipantTypeResource,
  EKParticipantTypeGroup
};

typedef NS_ENUM(NSInteger, EKParticipantRole) {
  EKParticipantRoleUnknown,
  EKParticipantRoleRequired,
  EKParticipantRoleOptional,
  EKParticipantRoleChair,
  EKParticipantRoleNonParticipant
};

typedef NS_ENUM(NSInteger, EKParticipantStatus) {
  EKParticipantStatusUnknown,
  EKParticipantStatusPending,
  EKParticipantStatusAccepted,
  EKParticipantStatusDeclined,
  EKParticipantStatusTentative,
  EKParticipantStatusDelegated,
  EKParticipantStatusCompleted,
  EKParticipantStatusInProcess
};

typedef NS_ENUM(NSInteger, EKEventAvailability) {
  EKEventAvailabilityNotSupported = -1,
  EKEventAvailabilityBusy = 0,
  EKEventAvailabilityFree,
  EKEventAvailabilityTentative,
  EKEventAvailabilityUnavailable
};

typedef NS_ENUM(NSInteger, EKEventStatus) {
  EKEventStatusNone = 0,
  EKEventStatusConfirmed,
  EKEventStatusTentative,
  EKEventStatusCanceled,
};

@interface EKObject : NSObject
@end

@interface EKParticipant : EKObject <NSCopying>
@property(nonatomic, readonly) NSURL *URL;
@property(nonatomic, readonly, nullable) NSString *name;
@property(nonatomic, readonly) EKParticipantStatus participantStatus;
@property(nonatomic, readonly) EKParticipantRole participantRole;
@property(nonatomic, readonly) EKParticipantType participantType;
@property(nonatomic, readonly, getter=isCurrentUser) BOOL currentUser API_AVAILABLE(macos(10.9), ios(6.0));
@end

@interface EKSource : EKObject
@property(nonatomic, readonly) NSString *title;
@end

@interface EKCalendar : EKObject
@property(nonatomic, readonly) NSString *calendarIdentifier API_AVAILABLE(macos(10.8), ios(5.0));
@property(nonatomic, copy) NSString *title;
@property(null_unspecified, nonatomic, strong) EKSource *source;
@property(null_unspecified, nonatomic) CGColorRef CGColor API_AVAILABLE(macos(10.15), ios(5.0));
@end

@interface EKCalendarItem : EKObject
@property(nonatomic, readonly) NSString *calendarItemIdentifier API_AVAILABLE(macos(10.8), ios(5.0));
@property(nonatomic, strong, null_unspecified) EKCalendar *calendar;
@property(nonatomic, copy, null_unspecified) NSString *title;
@property(nonatomic, copy, nullable) NSString *location;
@property(nonatomic, copy, nullable) NSString *notes;
@property(nonatomic, copy, nullable) NSURL *URL API_AVAILABLE(macos(10.8), ios(5.0));
@property(nonatomic, copy, nullable) NSTimeZone *timeZone API_AVAILABLE(macos(10.8), ios(5.0));
@property(nonatomic, readonly) BOOL hasRecurrenceRules API_AVAILABLE(macos(10.8), ios(5.0));
@property(nonatomic, readonly, nullable) NSArray<__kindof EKParticipant *> *attendees;
@end

@interface EKEvent : EKCalendarItem
@property(nonatomic, getter=isAllDay) BOOL allDay;
@property(null_unspecified, nonatomic, copy) NSDate *startDate;
@property(null_unspecified, nonatomic, copy) NSDate *endDate;
@property(nonatomic, readonly, null_unspecified) NSDate *occurrenceDate API_AVAILABLE(macos(10.8), ios(9.0));
@property(nonatomic, readonly, nullable) EKParticipant *organizer;
@property(nonatomic) EKEventAvailability availability;
@property(nonatomic, readonly) EKEventStatus status;
@end

typedef void (^EKEventStoreRequestAccessCompletionHandler)(BOOL granted, NSError *_Nullable error);

@interface EKEventStore : NSObject
+ (EKAuthorizationStatus)authorizationStatusForEntityType:(EKEntityType)entityType
    API_AVAILABLE(macos(10.9), ios(6.0));
- (void)requestFullAccessToEventsWithCompletion:(EKEventStoreRequestAccessCompletionHandler)completion
    API_AVAILABLE(macos(14.0), ios(17.0));
- (NSArray<EKCalendar *> *)calendarsForEntityType:(EKEntityType)entityType
    API_AVAILABLE(macos(10.8), ios(6.0));
- (NSPredicate *)predicateForEventsWithStartDate:(NSDate *)startDate
                                         endDate:(NSDate *)endDate
                                       calendars:(nullable NSArray<EKCalendar *> *)calendars;
- (NSArray<EKEvent *> *)eventsMatchingPredicate:(NSPredicate *)predicate;
@end

EVENTKIT_EXTERN NSString *const EKEventStoreChangedNotification API_AVAILABLE(macos(10.8), ios(4.0), watchos(2.0));

NS_ASSUME_NONNULL_END
