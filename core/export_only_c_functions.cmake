# vantrel_export_only_c_functions(<target> [<symbol>...]): leaves only the C
# functions of tavimo_calendar.h, and the symbols given, in the target's
# dynamic symbol table. Hidden visibility alone is not enough: the compiler
# still exports the type information of thrown enums and instantiations of
# standard templates, and unique symbols among those keep a module from ever
# being unloaded.
function(vantrel_export_only_c_functions target)
  set(symbols tavimo_calendar_diagnostics tavimo_calendar_snapshot
              tavimo_calendar_request_access tavimo_calendar_string_free
              tavimo_calendar_watch_changes tavimo_calendar_watch_stop ${ARGN})
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
