# Compiles one Objective-C++ file syntax-only against the declaration headers in
# sdk/, with the flags of the macOS build, warnings as errors.
#   cmake -DCLANG=<clang++> -DSOURCE=<file.mm> -DSDK=<dir> -DCORE=<dir> -DLAYER=<dir>
#         [-DREJECT=<regex>] -P objc_syntax_check.cmake
# With REJECT the file must fail, with a diagnostic that matches the regex, so
# that a broken setup cannot pass for a rejection.
if(NOT CLANG)
  message(FATAL_ERROR
    "clang++ was not found. The syntax check of the macOS layer needs it; "
    "scripts/install-deps.sh installs it (Debian package clang).")
endif()

execute_process(
  COMMAND ${CLANG} -fsyntax-only -x objective-c++ -std=c++20
          -fobjc-arc -fblocks -fobjc-runtime=macosx-15.0
          -Wall -Wextra -Wpedantic -Werror -Wnullable-to-nonnull-conversion
          -isystem ${SDK} -I ${CORE} -I ${LAYER} ${SOURCE}
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
