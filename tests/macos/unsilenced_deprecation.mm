// Must be rejected by the syntax check: a deprecated call without the local
// silencing that calendar_store_mac.mm wraps around it.
#import <AppKit/AppKit.h>

void bringHostToFront() {
  @autoreleasepool {
    [NSApp activateIgnoringOtherApps:YES];
  }
}
