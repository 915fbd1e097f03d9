// Declarations for the syntax check of the macOS layer: the colour functions of
// CoreGraphics that calendar_store_mac.mm uses, with the SDK's signatures.
#pragma once

#include <stddef.h>

#include <CoreFoundation/CoreFoundation.h>
#include <os/availability.h>

typedef double CGFloat;  // CGFLOAT_IS_DOUBLE on 64-bit platforms

#define CG_EXTERN extern "C" __attribute__((visibility("default")))
#define cg_nullable _Nullable

typedef struct CF_BRIDGED_TYPE(id) CGColor *CGColorRef;
typedef struct CF_BRIDGED_TYPE(id) CGColorSpace *CGColorSpaceRef;

typedef CF_ENUM(int32_t, CGColorRenderingIntent) {
  kCGRenderingIntentDefault,
  kCGRenderingIntentAbsoluteColorimetric,
  kCGRenderingIntentRelativeColorimetric,
  kCGRenderingIntentPerceptual,
  kCGRenderingIntentSaturation
};

CG_EXTERN const CFStringRef kCGColorSpaceSRGB API_AVAILABLE(macos(10.5), ios(9.0));

CG_EXTERN CGColorSpaceRef _Nullable CGColorSpaceCreateWithName(CFStringRef cg_nullable name)
    API_AVAILABLE(macos(10.2), ios(2.0));

CG_EXTERN CGColorRef _Nullable CGColorCreateCopyByMatchingToColorSpace(
    cg_nullable CGColorSpaceRef, CGColorRenderingIntent intent, CGColorRef cg_nullable color,
    _Nullable CFDictionaryRef options) API_AVAILABLE(macos(10.11), ios(9.0));

CG_EXTERN void CGColorRelease(CGColorRef cg_nullable color) API_AVAILABLE(macos(10.3), ios(2.0));

CG_EXTERN size_t CGColorGetNumberOfComponents(CGColorRef cg_nullable color)
    API_AVAILABLE(macos(10.3), ios(2.0));

CG_EXTERN const CGFloat *_Nullable CGColorGetComponents(CGColorRef cg_nullable color)
    API_AVAILABLE(macos(10.3), ios(2.0));
