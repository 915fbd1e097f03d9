// Declarations for the syntax check of the macOS layer: the part of libdispatch
// that calendar_store_mac.mm uses, as the SDK declares it for Objective-C with
// ARC (dispatch objects are Objective-C objects there).
#pragma once

#include <objc/NSObject.h>
#include <os/availability.h>

#define DISPATCH_EXPORT extern "C" __attribute__((visibility("default")))

@protocol OS_dispatch_object <NSObject>
@end
typedef NSObject<OS_dispatch_object> *dispatch_object_t;

@protocol OS_dispatch_queue <OS_dispatch_object>
@end
typedef NSObject<OS_dispatch_queue> *dispatch_queue_t;

@protocol OS_dispatch_queue_serial <OS_dispatch_queue>
@end
typedef NSObject<OS_dispatch_queue_serial> *dispatch_queue_serial_t;

@protocol OS_dispatch_queue_main <OS_dispatch_queue_serial>
@end
typedef NSObject<OS_dispatch_queue_main> *dispatch_queue_main_t;

@protocol OS_dispatch_queue_attr <OS_dispatch_object>
@end
typedef NSObject<OS_dispatch_queue_attr> *dispatch_queue_attr_t;

typedef void (^dispatch_block_t)(void);

API_AVAILABLE(macos(10.7), ios(4.3))
DISPATCH_EXPORT struct dispatch_queue_attr_s _dispatch_queue_attr_concurrent;
#define DISPATCH_QUEUE_CONCURRENT \
  ((__bridge dispatch_queue_attr_t)&(_dispatch_queue_attr_concurrent))

API_AVAILABLE(macos(10.6), ios(4.0))
DISPATCH_EXPORT __attribute__((__malloc__)) __attribute__((__ns_returns_retained__))
__attribute__((__warn_unused_result__)) __attribute__((__nothrow__))
dispatch_queue_t dispatch_queue_create(const char *_Nullable label,
                                       dispatch_queue_attr_t _Nullable attr);

API_AVAILABLE(macos(10.6), ios(4.0))
DISPATCH_EXPORT __attribute__((__nonnull__)) __attribute__((__nothrow__))
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);

API_AVAILABLE(macos(10.6), ios(4.0))
DISPATCH_EXPORT struct dispatch_queue_s _dispatch_main_q;

static inline __attribute__((__always_inline__)) __attribute__((__const__)) __attribute__((__nothrow__))
dispatch_queue_main_t dispatch_get_main_queue(void) {
  return (__bridge dispatch_queue_main_t)&(_dispatch_main_q);
}
