// Declarations for the syntax check of the macOS layer: the colour functions of
// CoreGraphics that calendar_store_mac.mm uses, with the SDK's signatures.
#pragma once

#include <stddef.h>

#include <os/availability.h>

typedef double CGFloat;  // CGFLOAT_IS_DOUBLE on 64-bit platforms

#define CG_EXTERN extern "C" __attribute__((visibility("default")))
#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define cg_nullable _Nullable

typedef struct CF_BRIDGED_TYPE(id) CGColor *CGColorRef;

CG_EXTERN size_t CGColorGetNumberOfComponents(CGColorRef cg_nullable color)
    API_AVAILABLE(macos(10.3), ios(2.0));

CG_EXTERN const CGFloat *_Nullable CGColorGetComponents(CGColorRef cg_nullable color)
    API_AVAILABLE(macos(10.3), ios(2.0));
