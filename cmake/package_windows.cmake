# Windows (the mingw variant): the programs side by side with a README.txt in CR LF, as
# a portable zip and as a per-user NSIS installer (Debian's makensis; CPack's NSIS
# generator with the template in packaging/windows):
#   zev1-wifi-config-<version>-win64.zip, zev1-wifi-config-<version>-win64-setup.exe
# Every program carries a version resource with the same version.
set(zev1_windows ${PROJECT_SOURCE_DIR}/packaging/windows)
set(zev1_generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${zev1_generated})

# Version resources for every program: FILEVERSION major,minor,patch,commits and the
# version text. A program's own resource script holds no VERSIONINFO of its own.
set(zev1_descriptions
    "zev1-wifi-config" "ZEV1 wifi configurator"
    "zev1-wifi" "ZEV1 wifi configurator, command line"
    "zev1-sim" "ZEV1 controller simulator")
set(ZEV1_README_PROGRAMS "Programs\n--------\n")
while(zev1_descriptions)
  list(POP_FRONT zev1_descriptions ZEV1_RC_NAME ZEV1_RC_DESCRIPTION)
  if(NOT TARGET ${ZEV1_RC_NAME})
    continue()
  endif()
  configure_file(${zev1_windows}/version.rc.in ${zev1_generated}/${ZEV1_RC_NAME}.rc @ONLY)
  target_sources(${ZEV1_RC_NAME} PRIVATE ${zev1_generated}/${ZEV1_RC_NAME}.rc)
  string(APPEND ZEV1_README_PROGRAMS "  ${ZEV1_RC_NAME}.exe")
  string(LENGTH "${ZEV1_RC_NAME}" zev1_length)
  math(EXPR zev1_length "22 - ${zev1_length}")
  string(REPEAT " " ${zev1_length} zev1_pad)
  string(APPEND ZEV1_README_PROGRAMS "${zev1_pad}${ZEV1_RC_DESCRIPTION}\n")
endwhile()

install(TARGETS ${ZEV1_PROGRAMS} RUNTIME DESTINATION .)
# Twice: the second pass gives the lines of the filled-in list their CR LF too.
configure_file(${zev1_windows}/README.txt.in ${zev1_generated}/README.lf.txt @ONLY)
configure_file(${zev1_generated}/README.lf.txt ${zev1_generated}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${zev1_generated}/README.txt DESTINATION .)

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_FILE_NAME ${ZEV1_PACKAGE}-${ZEV1_VERSION}-win64)
# The installer's file name says what it is.
file(WRITE ${zev1_generated}/cpack_per_generator.cmake
     "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
     "  set(CPACK_PACKAGE_FILE_NAME \"${ZEV1_PACKAGE}-${ZEV1_VERSION}-win64-setup\")\n"
     "endif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${zev1_generated}/cpack_per_generator.cmake)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${ZEV1_PRODUCT}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${ZEV1_PACKAGE})
set(CPACK_NSIS_PACKAGE_NAME "${ZEV1_PRODUCT}")
set(CPACK_NSIS_DISPLAY_NAME "${ZEV1_PRODUCT}")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
if(TARGET zev1-wifi-config)
  set(CPACK_PACKAGE_EXECUTABLES zev1-wifi-config "${ZEV1_PRODUCT}")
endif()
set(CPACK_NSIS_MENU_LINKS README.txt "README")
if(ZEV1_ICON_ICO)
  set(CPACK_NSIS_MUI_ICON ${ZEV1_ICON_ICO})
  set(CPACK_NSIS_MUI_UNIICON ${ZEV1_ICON_ICO})
endif()
# Our own installer script (per user, HKCU): CPack looks for NSIS.template.in here first.
list(PREPEND CMAKE_MODULE_PATH ${zev1_windows})
