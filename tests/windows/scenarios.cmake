# The window scenarios, written once against the driver (driver.h) and built into one
# executable per toolkit: tests/gui (Qt, offscreen) and tests/wine (Win32 under Wine).
#   ZEV1_SCENARIO_SOURCES   the scenario files
#   zev1_scenario_tests(<prefix> COMMAND <launcher...> <exe> [LABELS ...] [ENVIRONMENT ...]
#                       [PROPERTIES ...] [SOURCES ...] [EXCLUDE ...])
#     one CTest test <prefix>.<Suite>.<name> a scenario, run as <command> --gtest_filter=...;
#     SOURCES: more scenario files of that executable's own, EXCLUDE: Suite.name of
#     scenarios that do not apply to it
file(GLOB ZEV1_SCENARIO_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_scenarios.cpp)

function(zev1_scenario_tests prefix)
  cmake_parse_arguments(ARG "" "" "COMMAND;LABELS;ENVIRONMENT;PROPERTIES;SOURCES;EXCLUDE" ${ARGN})
  foreach(file IN LISTS ZEV1_SCENARIO_SOURCES ARG_SOURCES)
    # A scenario added or renamed is a test at the next build.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} source)
    # Whatever the names look like (any letter case, digits, line breaks after the comma).
    string(REGEX MATCHALL "TEST(_F)?\\([ \t\r\n]*[A-Za-z_0-9]+[ \t\r\n]*,[ \t\r\n]*[A-Za-z_0-9]+[ \t\r\n]*\\)"
           decls "${source}")
    # Every scenario becomes a test, or the configuration fails: none may go missing.
    string(REGEX MATCHALL "(^|[^A-Za-z_0-9])TEST(_F)?\\(" starts "${source}")
    list(LENGTH decls found)
    list(LENGTH starts declared)
    if(NOT found EQUAL declared)
      message(FATAL_ERROR "${file}: ${declared} scenarios declared, ${found} understood")
    endif()
    foreach(decl IN LISTS decls)
      string(REGEX REPLACE "TEST(_F)?\\([ \t\r\n]*([A-Za-z_0-9]+)[ \t\r\n]*,[ \t\r\n]*([A-Za-z_0-9]+)[ \t\r\n]*\\)"
             "\\2.\\3" name "${decl}")
      if(name IN_LIST ARG_EXCLUDE)
        continue()
      endif()
      add_test(NAME ${prefix}.${name} COMMAND ${ARG_COMMAND} --gtest_filter=${name})
      set_tests_properties(${prefix}.${name} PROPERTIES LABELS "${ARG_LABELS}"
                           ENVIRONMENT "${ARG_ENVIRONMENT}" ${ARG_PROPERTIES})
    endforeach()
  endforeach()
endfunction()
