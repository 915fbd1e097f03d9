# VANTREL_C_FUNCTIONS: the C functions of tavimo_calendar.h, read from its
# declarations, so that the header is the one list of them.
file(READ ${CMAKE_CURRENT_LIST_DIR}/tavimo_calendar.h header)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/tavimo_calendar.h)
string(REGEX MATCHALL "TAVIMO_CALENDAR_EXPORT [^;(]*[^a-z_]tavimo_calendar_[a-z_]+\\("
       declarations "${header}")
list(TRANSFORM declarations REPLACE "^.*[^a-z_](tavimo_calendar_[a-z_]+)\\($" "\\1"
     OUTPUT_VARIABLE VANTREL_C_FUNCTIONS)
if(NOT VANTREL_C_FUNCTIONS)
  message(FATAL_ERROR "No TAVIMO_CALENDAR_EXPORT declaration found in tavimo_calendar.h")
endif()

# vantrel_export_only_c_functions(<target> [<symbol>...]): leaves only the C
# functions, and the symbols given, in the target's dynamic symbol table, and
# names them in its property VANTREL_EXPORTED_SYMBOLS. Hidden visibility alone
# is not enough: the compiler still exports the type information of thrown
# enums and instantiations of standard templates, and unique symbols among
# those keep a module from ever being unloaded.
function(vantrel_export_only_c_functions target)
  set(symbols ${VANTREL_C_FUNCTIONS} ${ARGN})
  set_property(TARGET ${target} PROPERTY VANTREL_EXPORTED_SYMBOLS ${symbols})
  if(APPLE)
    list(TRANSFORM symbols PREPEND "_")
    list(JOIN symbols "\n" text)
    set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.exported_symbols)
    file(WRITE ${list_file} "${text}\n")
    target_link_options(${target} PRIVATE "LINKER:-exported_symbols_list,${list_file}")
  else()
    # A sanitizer runtime reaches into the program for its own symbols.
    list(APPEND symbols "__asan_*" "__lsan_*" "__ubsan_*" "__tsan_*" "__sanitizer_*")
    list(JOIN symbols ";\n    " text)
    set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.version_script)
    file(WRITE ${list_file} "{\n  global:\n    ${text};\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${list_file}")
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${list_file})
endfunction()
