// Declarations for the syntax check of the macOS layer: the availability
// macros as the SDK spells them. The check compiles for an Apple target at
// the deployment target, so clang applies them as it does on a Mac.
#pragma once

// An API that Apple means to deprecate in some release not yet named: no
// deployment target reaches it, so it warns at none.
#define API_TO_BE_DEPRECATED 100000

#define __API_PLATFORM_INTRODUCED_macos(v) macos, introduced = v
#define __API_PLATFORM_INTRODUCED_ios(v) ios, introduced = v
#define __API_PLATFORM_INTRODUCED_watchos(v) watchos, introduced = v
#define __API_PLATFORM_INTRODUCED_tvos(v) tvos, introduced = v
#define __API_PLATFORM_DEPRECATED_macos(a, d) macos, introduced = a, deprecated = d
#define __API_PLATFORM_DEPRECATED_ios(a, d) ios, introduced = a, deprecated = d

#define __API_A(x) __attribute__((availability(__API_PLATFORM_INTRODUCED_##x)))
#define __API_D(m, x) __attribute__((availability(__API_PLATFORM_DEPRECATED_##x, message = m)))

#define __API_PICK(_1, _2, _3, _4, NAME, ...) NAME
#define __API_A1(a) __API_A(a)
#define __API_A2(a, b) __API_A(a) __API_A(b)
#define __API_A3(a, b, c) __API_A(a) __API_A(b) __API_A(c)
#define __API_A4(a, b, c, d) __API_A(a) __API_A(b) __API_A(c) __API_A(d)
#define API_AVAILABLE(...) \
  __API_PICK(__VA_ARGS__, __API_A4, __API_A3, __API_A2, __API_A1, )(__VA_ARGS__)

#define __API_D1(m, a) __API_D(m, a)
#define __API_D2(m, a, b) __API_D(m, a) __API_D(m, b)
#define API_DEPRECATED(m, ...) __API_PICK(__VA_ARGS__, , , __API_D2, __API_D1, )(m, __VA_ARGS__)
