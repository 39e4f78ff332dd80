# Install rules and packages: from the full variant a .deb (cpack -G DEB), from the mingw
# variant a portable zip and a per-user installer (cpack -G "ZIP;NSIS"). Included from the
# top-level CMakeLists once every program's target exists; a program that is not built
# in this tree is simply left out. The packages land in <build>/packages/
# (cmake --build --preset <p> --target package).
set(ZEV1_PACKAGE zev1-wifi-config)
set(ZEV1_PRODUCT "ZEV1 wifi configurator")
set(ZEV1_MAINTAINER "ZEV1 project <zev1-tools@example.com>")
set(ZEV1_SUMMARY "set up the WiFi module of a ZEV1 heating controller")

set(ZEV1_PROGRAMS)
foreach(program zev1-wifi-config zev1-wifi zev1-sim)
  if(TARGET ${program})
    list(APPEND ZEV1_PROGRAMS ${program})
  endif()
endforeach()

set(CPACK_PACKAGE_NAME ${ZEV1_PACKAGE})
set(CPACK_PACKAGE_VENDOR "ZEV1 project")
set(CPACK_PACKAGE_CONTACT "${ZEV1_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${ZEV1_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ZEV1_PRODUCT}: ${ZEV1_SUMMARY}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/package_windows.cmake)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/package_linux.cmake)
endif()
include(CPack)
