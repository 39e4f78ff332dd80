# zev1-wifi.exe end to end under wine64: read, write --verify and the automatic setting
# against the native zev1-sim (from the full build) on Wine's COM5. Included from
# tests/wine/CMakeLists.txt; shares its prefix fixture and its lock on the COM links.
if(NOT TARGET zev1-wifi)
  return()
endif()

foreach(what read write auto)
  add_test(NAME wine.cli.${what}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli_wine.sh ${ZEV1_NATIVE_SIM} ${ZEV1_WINE}
                   $<TARGET_FILE:zev1-wifi> ${what})
  set_tests_properties(wine.cli.${what} PROPERTIES
    LABELS wine
    FIXTURES_REQUIRED wine_prefix
    RESOURCE_LOCK wine_ports
    ENVIRONMENT "WINEPREFIX=${ZEV1_WINEPREFIX};WINEDEBUG=-all"
    TIMEOUT 400)
endforeach()
