# Shared helpers for the test folders.
include(GoogleTest)

if(WIN32 OR EMSCRIPTEN)
  # Cross builds: GoogleTest from the Debian source package.
  if(NOT TARGET gtest)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    if(EMSCRIPTEN)
      set(gtest_disable_pthreads ON CACHE BOOL "" FORCE) # single-threaded build
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(ZEV1_GTEST_MAIN gtest_main)
  set(ZEV1_GTEST gtest)
  set(ZEV1_GMOCK gmock)
else()
  find_package(GTest REQUIRED)
  set(ZEV1_GTEST_MAIN GTest::gtest_main)
  set(ZEV1_GTEST GTest::gtest)
  set(ZEV1_GMOCK GTest::gmock)
endif()

# zev1_gtest(<name> SOURCES <files...> [LABELS <labels...>] [LIBS <libs...>])
# One executable; every TEST in it becomes its own CTest test carrying LABELS.
function(zev1_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LABELS;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zev1core ${ZEV1_GTEST_MAIN} ${ZEV1_GMOCK} ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(EMSCRIPTEN)
    # Under Node with the real file system, so the settings and file tests work on real
    # folders as on the desktop; the heap grows for the 1 MiB device image and the tests.
    target_link_options(${name} PRIVATE -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1)
    # The code under test (zev1core) keeps the page's optimisation; the tests' own code and
    # their link need none of it: at -O1 the linker skips wasm-opt's whole-program passes,
    # which took most of the variant's time.
    target_compile_options(${name} PRIVATE -O1)
    target_link_options(${name} PRIVATE -O1)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT 120)
  # Labels are set after discovery: a list-valued property does not survive the
  # generated test file of gtest_discover_tests as one value (CMake 3.25).
  set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${label_file}
    "foreach(t IN LISTS ${name}_TESTS)\n"
    "  set_tests_properties(\"\${t}\" PROPERTIES LABELS \"${ARG_LABELS}\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
endfunction()

# Every tests/<dir>/*_test.cpp as its own executable <dir>_<file>.
# Under emscripten one executable <dir>_tests holds them all: a link there costs many
# times a native one. The CTest names are the same either way.
function(zev1_gtest_folder dir)
  cmake_parse_arguments(ARG "" "" "LABELS;LIBS" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(EMSCRIPTEN)
    zev1_gtest(${dir}_tests SOURCES ${files} LABELS ${ARG_LABELS} LIBS ${ARG_LIBS})
    return()
  endif()
  foreach(file IN LISTS files)
    get_filename_component(stem ${file} NAME_WE)
    zev1_gtest(${dir}_${stem} SOURCES ${file} LABELS ${ARG_LABELS} LIBS ${ARG_LIBS})
  endforeach()
endfunction()
