// Must be rejected by the syntax check: a call to an API newer than the
// deployment target (macOS 15.0) without an @available guard.
#import <EventKit/EventKit.h>

@interface EKEventStore (NewerThanTheDeploymentTarget)
- (void)refreshSourcesIfNecessary API_AVAILABLE(macos(26.0));
@end

void refreshStore(EKEventStore* store) {
  @autoreleasepool {
    [store refreshSourcesIfNecessary];
  }
}
