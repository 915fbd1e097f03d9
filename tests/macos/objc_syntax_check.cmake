# Compiles one Objective-C++ file syntax-only against the declaration headers in
# sdk/, with the flags of the macOS build, warnings as errors, for the macOS
# build's target and deployment target, so that clang enforces availability as
# it does on a Mac. The C and C++ library headers are a 64-bit Arm set of
# Debian's (only their declarations matter here).
#   cmake -DCLANG=<clang++> -DSOURCE=<file.mm> -DSDK=<dir> -DCORE=<dir> -DLAYER=<dir>
#         -DTARGET=<arm64-apple-macos15.0> -DARM64_INCLUDE=<dir>
#         [-DREJECT=<regex>] -P objc_syntax_check.cmake
# With REJECT the file must fail, with a diagnostic that matches the regex, so
# that a broken setup cannot pass for a rejection.
if(NOT CLANG)
  message(FATAL_ERROR
    "clang++ was not found. The syntax check of the macOS layer needs it; "
    "scripts/install-deps.sh installs it (Debian package clang).")
endif()

file(GLOB cxx_versions LIST_DIRECTORIES true ${ARM64_INCLUDE}/c++/*)
list(SORT cxx_versions COMPARE NATURAL)
set(cxx_headers "")
if(cxx_versions)
  list(POP_BACK cxx_versions cxx_headers)
endif()
if(NOT EXISTS "${cxx_headers}/vector" OR NOT EXISTS "${ARM64_INCLUDE}/stdlib.h")
  message(FATAL_ERROR
    "No 64-bit Arm C and C++ headers in ${ARM64_INCLUDE}; scripts/install-deps.sh "
    "installs them (Debian packages libc6-dev-arm64-cross, libstdc++-12-dev-arm64-cross).")
endif()

# Clang's Apple targets define __nonnull for nullability, which glibc's headers
# use as a function-like macro of their own; and they do not define
# _GNU_SOURCE, which libstdc++ needs of glibc.
execute_process(
  COMMAND ${CLANG} -target ${TARGET} -fsyntax-only -x objective-c++ -std=c++20
          -fobjc-arc -fblocks
          -Wall -Wextra -Wpedantic -Werror -Wnullable-to-nonnull-conversion
          -U__nonnull -D_GNU_SOURCE -nostdinc++
          -isystem ${SDK} -isystem ${cxx_headers} -isystem ${cxx_headers}/aarch64-linux-gnu
          -isystem ${ARM64_INCLUDE} -I ${CORE} -I ${LAYER} ${SOURCE}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)

if(NOT DEFINED REJECT)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${SOURCE} does not compile against the declarations:\n${output}")
  endif()
  message(STATUS "${SOURCE} compiles cleanly")
elseif(status EQUAL 0)
  message(FATAL_ERROR "${SOURCE} was accepted, but the check must reject it")
elseif(NOT output MATCHES "${REJECT}")
  message(FATAL_ERROR "${SOURCE} was rejected, but not for the expected reason (${REJECT}):\n${output}")
else()
  message(STATUS "${SOURCE} is rejected as it must be:\n${output}")
endif()
