// Declarations for the syntax check of the macOS layer: the CoreFoundation
// types that the CoreGraphics colour functions take, and the run loop.
#pragma once

#include <stdint.h>

#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define CF_ENUM(_type, _name) \
  enum __attribute__((enum_extensibility(open))) _name : _type _name; \
  enum __attribute__((enum_extensibility(open))) _name : _type

typedef const struct CF_BRIDGED_TYPE(NSString) __CFString *CFStringRef;
typedef const struct CF_BRIDGED_TYPE(NSDictionary) __CFDictionary *CFDictionaryRef;

#define CF_EXPORT extern "C" __attribute__((visibility("default")))

typedef unsigned char Boolean;
typedef signed int SInt32;
typedef double CFTimeInterval;
typedef const __attribute__((objc_bridge(id))) void *CFTypeRef;

CF_EXPORT void CFRelease(CFTypeRef cf);

typedef CFStringRef CFRunLoopMode;
typedef struct __attribute__((objc_bridge_mutable(id))) __CFRunLoop *CFRunLoopRef;

typedef CF_ENUM(SInt32, CFRunLoopRunResult){
    kCFRunLoopRunFinished = 1,
    kCFRunLoopRunStopped = 2,
    kCFRunLoopRunTimedOut = 3,
    kCFRunLoopRunHandledSource = 4,
};

CF_EXPORT const CFRunLoopMode kCFRunLoopDefaultMode;
CF_EXPORT CFRunLoopRef CFRunLoopGetMain(void);
CF_EXPORT CFRunLoopMode CFRunLoopCopyCurrentMode(CFRunLoopRef rl);
CF_EXPORT CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                                                Boolean returnAfterSourceHandled);
