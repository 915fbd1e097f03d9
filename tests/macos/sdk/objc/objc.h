// Declarations for the syntax check of the macOS layer: the Objective-C basics
// of <objc/objc.h> on a 64-bit Arm Mac.
#pragma once

typedef bool BOOL;  // OBJC_BOOL_IS_BOOL on arm64
#define YES __objc_yes
#define NO __objc_no

#ifndef nil
#define nil nullptr
#endif

#define OBJC_ROOT_CLASS __attribute__((objc_root_class))
