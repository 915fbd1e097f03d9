cmake_minimum_required(VERSION 3.20)
# cmake -DNM=<nm> -DBINARY=<file> -DEXPECTED=<symbol;...> -P exported_symbols_check.cmake
# Fails unless the binary's defined dynamic symbols are exactly EXPECTED, apart
# from the markers the linker itself adds to every executable, the C library's
# variables an executable holds copies of (__libc_single_threaded@GLIBC_2.32,
# which inlined std::shared_ptr code reads), and the symbols of a sanitizer
# runtime.
execute_process(COMMAND ${NM} -D --defined-only ${BINARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${BINARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(linker_markers _start _init _fini _edata _end __bss_start _IO_stdin_used __data_start
                   data_start)
set(exported)
set(unexpected)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" symbol "${line}")
  if(symbol MATCHES "@GLIBC_")
    continue()
  endif()
  string(REGEX REPLACE "@.*$" "" symbol "${symbol}")
  if(symbol IN_LIST linker_markers OR symbol MATCHES "^__(asan|lsan|ubsan|tsan|sanitizer)_")
    continue()
  endif()
  list(APPEND exported ${symbol})
  if(NOT symbol IN_LIST EXPECTED)
    list(APPEND unexpected ${symbol})
  endif()
endforeach()
set(missing)
foreach(symbol IN LISTS EXPECTED)
  if(NOT symbol IN_LIST exported)
    list(APPEND missing ${symbol})
  endif()
endforeach()
if(missing OR unexpected)
  list(JOIN missing " " missing_text)
  list(JOIN unexpected "\n  " unexpected_text)
  message(FATAL_ERROR "${BINARY}\nmissing: ${missing_text}\nexported but should not be:\n  ${unexpected_text}")
endif()
message(STATUS "${BINARY} exports exactly: ${EXPECTED}")
