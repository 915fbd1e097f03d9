// Declarations for the syntax check of the macOS layer: exactly the part of
// Foundation that the layer's files use, with the SDK's signatures,
// nullability and availability (64-bit Arm, macOS 15 SDK).
#pragma once

#include <stddef.h>

#include <objc/NSObject.h>
#include <objc/objc.h>
#include <os/availability.h>

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double NSTimeInterval;
typedef unsigned short unichar;

#define FOUNDATION_EXPORT extern "C" __attribute__((visibility("default")))
#define NS_INLINE static inline __attribute__((always_inline))
#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define NS_DESIGNATED_INITIALIZER __attribute__((objc_designated_initializer))
#define NS_TYPED_EXTENSIBLE_ENUM __attribute__((swift_wrapper(struct)))
#define NS_SWIFT_SENDABLE __attribute__((swift_attr("@Sendable")))
#define NS_ENUM(_type, _name) \
  enum __attribute__((enum_extensibility(open))) _name : _type _name; \
  enum __attribute__((enum_extensibility(open))) _name : _type

NS_ASSUME_NONNULL_BEGIN

typedef struct _NSRange {
  NSUInteger location;
  NSUInteger length;
} NSRange;

NS_INLINE NSRange NSMakeRange(NSUInteger loc, NSUInteger len) {
  NSRange r;
  r.location = loc;
  r.length = len;
  return r;
}

@protocol NSCopying
@end

typedef struct {
  unsigned long state;
  id __unsafe_unretained _Nullable * _Nullable itemsPtr;
  unsigned long * _Nullable mutationsPtr;
  unsigned long extra[5];
} NSFastEnumerationState;

@protocol NSFastEnumeration
- (NSUInteger)countByEnumeratingWithState:(NSFastEnumerationState *)state
                                  objects:(id __unsafe_unretained _Nullable[_Nonnull])buffer
                                    count:(NSUInteger)len;
@end

@interface NSString : NSObject <NSCopying>
@property(readonly) NSUInteger length;
@end

@interface NSString (NSStringExtensionMethods)
- (void)getCharacters:(unichar *)buffer range:(NSRange)range;
@end

@interface NSArray<__covariant ObjectType> : NSObject <NSCopying, NSFastEnumeration>
@property(readonly) NSUInteger count;
- (ObjectType)objectAtIndex:(NSUInteger)index;
@end

@interface NSMutableArray<ObjectType> : NSArray <ObjectType>
- (void)addObject:(ObjectType)anObject;
- (instancetype)initWithCapacity:(NSUInteger)numItems NS_DESIGNATED_INITIALIZER;
@end

@interface NSURL : NSObject <NSCopying>
@property(nullable, readonly, copy) NSString *absoluteString;
@end

@interface NSTimeZone : NSObject <NSCopying>
@property(readonly, copy) NSString *name;
@end

@interface NSDate : NSObject <NSCopying>
@property(readonly) NSTimeInterval timeIntervalSinceReferenceDate;
@end

@interface NSDate (NSExtendedDate)
@property(readonly) NSTimeInterval timeIntervalSince1970;
@end

@interface NSDate (NSDateCreation)
+ (instancetype)dateWithTimeIntervalSinceNow:(NSTimeInterval)secs;
+ (instancetype)dateWithTimeIntervalSince1970:(NSTimeInterval)secs;
@end

@interface NSError : NSObject <NSCopying>
@property(readonly, copy) NSString *localizedDescription;
@end

@interface NSPredicate : NSObject <NSCopying>
@end

@interface NSBundle : NSObject
@property(class, readonly, strong) NSBundle *mainBundle;
@property(nullable, readonly, copy) NSString *bundleIdentifier;
@property(nullable, readonly, copy) NSString *executablePath;
@end

@interface NSProcessInfo : NSObject
@property(class, readonly, strong) NSProcessInfo *processInfo;
@property(readonly, copy) NSArray<NSString *> *arguments;
@end

typedef NSString *NSRunLoopMode NS_TYPED_EXTENSIBLE_ENUM;
FOUNDATION_EXPORT NSRunLoopMode const NSDefaultRunLoopMode;

@interface NSRunLoop : NSObject
@property(class, readonly, strong) NSRunLoop *currentRunLoop;
@end

@interface NSRunLoop (NSRunLoopConveniences)
- (BOOL)runMode:(NSRunLoopMode)mode beforeDate:(NSDate *)limitDate;
@end

@interface NSThread : NSObject
+ (void)sleepUntilDate:(NSDate *)date;
@property(class, readonly) BOOL isMainThread API_AVAILABLE(macos(10.5), ios(2.0), watchos(2.0), tvos(9.0));
@end

API_AVAILABLE(macos(10.5), ios(2.0), watchos(2.0), tvos(9.0))
@interface NSOperationQueue : NSObject
@property NSInteger maxConcurrentOperationCount;
@property (nullable, copy) NSString *name API_AVAILABLE(macos(10.6), ios(4.0), watchos(2.0), tvos(9.0));
- (void)waitUntilAllOperationsAreFinished;
@end

typedef NSString *NSNotificationName NS_TYPED_EXTENSIBLE_ENUM;

@interface NSNotification : NSObject <NSCopying>
@property (readonly, copy) NSNotificationName name;
@end

@interface NSNotificationCenter : NSObject
@property (class, readonly, strong) NSNotificationCenter *defaultCenter;
- (void)removeObserver:(id)observer;
- (id <NSObject>)addObserverForName:(nullable NSNotificationName)name object:(nullable id)obj queue:(nullable NSOperationQueue *)queue usingBlock:(void (NS_SWIFT_SENDABLE ^)(NSNotification *notification))block API_AVAILABLE(macos(10.6), ios(4.0), watchos(2.0), tvos(9.0));
@end

NS_ASSUME_NONNULL_END
