# The one version of the programs and packages, worked out at configure time:
#   ZEV1_VERSION     the text: project() version, plus "+<commits>.g<hash>" when built
#                    from a git checkout of this tree (1.0+56.g605f99f); the plain number
#                    from a tarball, or exactly at a tag v<project version>
#   ZEV1_VERSION_RC  four numbers for Windows version resources: major,minor,patch,commits
#   ZEV1_SOURCE_DATE_EPOCH  the commit's time (unset outside git, or with the environment's
#                    SOURCE_DATE_EPOCH taking its place)
# Commits count from the tag v<project version> when there is one, else from the first
# commit, so snapshots sort in order (dpkg and Windows alike). -DZEV1_VERSION=... sets
# the text by hand (ZEV1_VERSION_RC then carries no commit count).
# CMake configures again whenever HEAD moves, so a rebuild after a commit reports it.

set(zev1_commits 0)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ZEV1_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
endif()
if(NOT DEFINED ZEV1_VERSION)
  set(ZEV1_VERSION ${PROJECT_VERSION})
  find_package(Git QUIET)
  if(GIT_FOUND)
    # Only a checkout of this very tree counts: a tarball unpacked inside some other
    # repository must not take that repository's history.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE zev1_top OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE zev1_rc ERROR_QUIET)
    if(zev1_rc EQUAL 0)
      file(REAL_PATH "${zev1_top}" zev1_top)
      file(REAL_PATH "${PROJECT_SOURCE_DIR}" zev1_src)
    endif()
    if(zev1_rc EQUAL 0 AND zev1_top STREQUAL zev1_src)
      execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --long --match "v${PROJECT_VERSION}"
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE zev1_describe OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE zev1_rc ERROR_QUIET)
      if(zev1_rc EQUAL 0 AND zev1_describe MATCHES "-([0-9]+)-g([0-9a-f]+)$")
        set(zev1_commits ${CMAKE_MATCH_1})
        set(zev1_hash ${CMAKE_MATCH_2})
      else()
        # No release tag yet: count every commit, name the commit as describe does.
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE zev1_commits OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE zev1_rc ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE zev1_hash OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE zev1_rc2 ERROR_QUIET)
        if(NOT zev1_rc EQUAL 0 OR NOT zev1_rc2 EQUAL 0 OR NOT zev1_commits MATCHES "^[0-9]+$")
          set(zev1_commits 0)
        endif()
      endif()
      if(zev1_commits GREATER 0)
        set(ZEV1_VERSION "${PROJECT_VERSION}+${zev1_commits}.g${zev1_hash}")
      endif()
      # The commit's time dates the man pages and the package changelog, so a rebuild of
      # the same commit makes the same files.
      execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                      OUTPUT_VARIABLE zev1_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                      RESULT_VARIABLE zev1_rc ERROR_QUIET)
      if(zev1_rc EQUAL 0 AND zev1_epoch MATCHES "^[0-9]+$" AND NOT DEFINED ZEV1_SOURCE_DATE_EPOCH)
        set(ZEV1_SOURCE_DATE_EPOCH ${zev1_epoch})
      endif()
      foreach(what logs/HEAD HEAD)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${what}
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE zev1_git_file OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE zev1_rc ERROR_QUIET)
        if(zev1_rc EQUAL 0)
          get_filename_component(zev1_git_file "${zev1_git_file}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
          if(EXISTS "${zev1_git_file}")
            set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                         "${zev1_git_file}")
          endif()
        endif()
      endforeach()
    endif()
  endif()
endif()

# Windows takes 16-bit numbers only.
if(zev1_commits GREATER 65535)
  set(zev1_commits 65535)
endif()
set(zev1_numbers)
foreach(part MAJOR MINOR PATCH)
  if(PROJECT_VERSION_${part} MATCHES "^[0-9]+$")
    list(APPEND zev1_numbers ${PROJECT_VERSION_${part}})
  else()
    list(APPEND zev1_numbers 0)
  endif()
endforeach()
list(APPEND zev1_numbers ${zev1_commits})
string(REPLACE ";" "," ZEV1_VERSION_RC "${zev1_numbers}")
message(STATUS "ZEV1 version ${ZEV1_VERSION} (${ZEV1_VERSION_RC})")
