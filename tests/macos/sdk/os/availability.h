// Declarations for the syntax check of the macOS layer on a non-Apple host: the
// availability macros as the SDK spells them. The check compiles for the host,
// where clang ignores availability for Apple platforms, so API_DEPRECATED also
// carries a plain deprecation: the layer's local silencing must then be real.
#pragma once

#define __API_PLATFORM_INTRODUCED_macos(v) macos, introduced = v
#define __API_PLATFORM_INTRODUCED_ios(v) ios, introduced = v
#define __API_PLATFORM_INTRODUCED_watchos(v) watchos, introduced = v
#define __API_PLATFORM_DEPRECATED_macos(a, d) macos, introduced = a, deprecated = d
#define __API_PLATFORM_DEPRECATED_ios(a, d) ios, introduced = a, deprecated = d

#define __API_A(x) __attribute__((availability(__API_PLATFORM_INTRODUCED_##x)))
#define __API_D(m, x) __attribute__((availability(__API_PLATFORM_DEPRECATED_##x, message = m)))

#define __API_PICK(_1, _2, _3, NAME, ...) NAME
#define __API_A1(a) __API_A(a)
#define __API_A2(a, b) __API_A(a) __API_A(b)
#define __API_A3(a, b, c) __API_A(a) __API_A(b) __API_A(c)
#define API_AVAILABLE(...) __API_PICK(__VA_ARGS__, __API_A3, __API_A2, __API_A1, )(__VA_ARGS__)

#define __API_D1(m, a) __API_D(m, a)
#define __API_D2(m, a, b) __API_D(m, a) __API_D(m, b)
#if defined(__APPLE__)
#define __API_HOST_DEPRECATED(m)
#else
#define __API_HOST_DEPRECATED(m) __attribute__((deprecated(m)))
#endif
#define API_DEPRECATED(m, ...) \
  __API_PICK(__VA_ARGS__, , __API_D2, __API_D1, )(m, __VA_ARGS__) __API_HOST_DEPRECATED(m)
