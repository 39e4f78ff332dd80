# zev1-sim.exe under wine64 on COM5, driven by the native zev1-sim-wine-client (full
# variant) that holds the pseudo-terminal behind Wine's COM5 link. Included from
# tests/wine/CMakeLists.txt; shares its prefix fixture and its lock on the COM links.
if(NOT TARGET zev1-sim)
  return()
endif()
add_test(NAME wine.sim.com_port
         COMMAND ${ZEV1_NATIVE_BIN}/zev1-sim-wine-client
                 --dosdevices ${ZEV1_WINEPREFIX}/dosdevices --port com5
                 -- ${ZEV1_WINE} $<TARGET_FILE:zev1-sim> --port COM5 --baud 0 --ssid TestNet)
set_tests_properties(wine.sim.com_port PROPERTIES
  LABELS wine
  FIXTURES_REQUIRED wine_prefix
  RESOURCE_LOCK wine_ports
  ENVIRONMENT "WINEPREFIX=${ZEV1_WINEPREFIX};WINEDEBUG=-all"
  TIMEOUT 180)
