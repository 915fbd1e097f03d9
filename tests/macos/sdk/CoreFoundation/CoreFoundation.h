// Declarations for the syntax check of the macOS layer: the CoreFoundation
// types that the CoreGraphics colour functions take.
#pragma once

#include <stdint.h>

#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define CF_ENUM(_type, _name) \
  enum __attribute__((enum_extensibility(open))) _name : _type _name; \
  enum __attribute__((enum_extensibility(open))) _name : _type

typedef const struct CF_BRIDGED_TYPE(NSString) __CFString *CFStringRef;
typedef const struct CF_BRIDGED_TYPE(NSDictionary) __CFDictionary *CFDictionaryRef;
