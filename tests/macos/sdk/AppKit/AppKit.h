// Declarations for the syntax check of the macOS layer: the shared application
// object and the one AppKit method that calendar_store_mac.mm calls.
#pragma once

#include <Foundation/Foundation.h>

#define APPKIT_EXTERN extern "C" __attribute__((visibility("default")))

NS_ASSUME_NONNULL_BEGIN

@interface NSResponder : NSObject
@end

@interface NSApplication : NSResponder
- (void)activateIgnoringOtherApps:(BOOL)ignoreOtherApps
    API_DEPRECATED("This method will be deprecated in a future release. Use NSApp.activate instead.",
                   macos(10.0, API_TO_BE_DEPRECATED));
@end

APPKIT_EXTERN __kindof NSApplication *_Null_unspecified NSApp;

NS_ASSUME_NONNULL_END
