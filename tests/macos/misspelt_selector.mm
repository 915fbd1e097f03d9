// Must be rejected by the syntax check: the selector is misspelt.
#import <Foundation/Foundation.h>

void turnRunLoopOnce() {
  @autoreleasepool {
    [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                             beforDate:[NSDate dateWithTimeIntervalSinceNow:0.05]];
  }
}
