# Linux: the FHS layout under the install prefix, and the .deb
# zev1-wifi-config_<version>_<arch>.deb with the dependencies dpkg-shlibdeps finds.
include(GNUInstallDirs)
set(zev1_docdir ${CMAKE_INSTALL_DATADIR}/doc/${ZEV1_PACKAGE})
# Folders the install makes are 0755 whatever the umask (lintian checks them).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS ${ZEV1_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(zev1_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(zev1_generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${zev1_generated})

# The desktop's menu entry and its icon in the hicolor theme.
if(TARGET zev1-wifi-config)
  install(FILES ${zev1_packaging}/linux/zev1-wifi-config.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ZEV1_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  while(ZEV1_ICON_PNGS)
    list(POP_FRONT ZEV1_ICON_PNGS size png)
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endwhile()
endif()

# Dates for the man pages and the changelog: the commit's, else now.
if(DEFINED ZEV1_SOURCE_DATE_EPOCH)
  set(zev1_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${ZEV1_SOURCE_DATE_EPOCH})
endif()
string(TIMESTAMP ZEV1_MAN_DATE "%B %Y" UTC)
string(TIMESTAMP ZEV1_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(DEFINED ZEV1_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${zev1_saved_epoch}")
endif()

# Files made at configure time, compressed as Debian wants them (gzip -9n).
function(zev1_gzip_configured template out)
  configure_file(${template} ${out} @ONLY)
  execute_process(COMMAND gzip -9n -c ${out} OUTPUT_FILE ${out}.gz RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${out}")
  endif()
endfunction()

# Man pages: the two command lines' from their --help (help2man), so they never drift
# from the programs; the configurator, which takes no arguments, has a short page of its
# own.
set(zev1_man_pages)
find_program(ZEV1_HELP2MAN help2man)
set(zev1_man_names
    "zev1-wifi" "read and write the WiFi settings of a ZEV1 controller"
    "zev1-sim" "simulate a ZEV1 controller on a serial link")
while(zev1_man_names)
  list(POP_FRONT zev1_man_names program description)
  if(NOT TARGET ${program})
    continue()
  endif()
  if(NOT ZEV1_HELP2MAN)
    message(WARNING "help2man not found: no man page for ${program}")
    continue()
  endif()
  set(page ${zev1_generated}/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${ZEV1_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
            "-DNAME=${description}" -DOUT=${page} -DSOURCE_DATE_EPOCH=${ZEV1_SOURCE_DATE_EPOCH}
            -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    COMMENT "Man page ${program}(1)"
    VERBATIM)
  list(APPEND zev1_man_pages ${page})
endwhile()
if(TARGET zev1-wifi-config)
  zev1_gzip_configured(${zev1_packaging}/man/zev1-wifi-config.1.in
                       ${zev1_generated}/zev1-wifi-config.1)
  list(APPEND zev1_man_pages ${zev1_generated}/zev1-wifi-config.1.gz)
endif()
add_custom_target(zev1_man_pages ALL DEPENDS ${zev1_man_pages})
install(FILES ${zev1_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The README and the guides with their screenshots, the copyright and the changelog.
if(ZEV1_VERSION MATCHES "\\+")
  set(ZEV1_CHANGELOG_TEXT "Snapshot ${ZEV1_VERSION}, built from git.")
else()
  set(ZEV1_CHANGELOG_TEXT "Release ${ZEV1_VERSION}.")
endif()
zev1_gzip_configured(${zev1_packaging}/debian/changelog.in ${zev1_generated}/changelog)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${zev1_packaging}/debian/copyright
              ${zev1_generated}/changelog.gz
        DESTINATION ${zev1_docdir})
file(GLOB zev1_screenshots CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png
     ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${zev1_screenshots} DESTINATION ${zev1_docdir}/docs)

# The .deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_NAME ${ZEV1_PACKAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEV1_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Stripped as dh_strip does it (also without the .comment and .note sections), in the
# staging folder before the package is made.
set(CPACK_STRIP_FILES OFF)
find_program(ZEV1_STRIP NAMES strip)
configure_file(${PROJECT_SOURCE_DIR}/cmake/strip_staged.cmake.in
               ${zev1_generated}/strip_staged.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${zev1_generated}/strip_staged.cmake)
set(CPACK_PACKAGE_DESCRIPTION
    "Service technicians plug the ZEV1 heating controller in over USB (a virtual
serial port) and use these programs to read its WiFi settings (SSID, password,
security type, server host and port), edit them and write them back:
zev1-wifi-config is the desktop tool, with a terminal window that shows the
link; zev1-wifi does the same from the command line, for scripts and
production lines; zev1-sim simulates a controller on a pseudo-terminal.")
