// Declarations for the syntax check of the macOS layer: the root class.
#pragma once

#include <objc/objc.h>

#pragma clang assume_nonnull begin

@protocol NSObject
@end

OBJC_ROOT_CLASS
@interface NSObject <NSObject>
+ (instancetype)alloc;
+ (instancetype)new;
- (instancetype)init;
@end

#pragma clang assume_nonnull end
