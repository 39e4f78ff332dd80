# Makes this tree's packages afresh: removes the ones an earlier version left in the
# packages folder, then runs CPack with the given generators.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DGENERATORS="DEB" -DFOLDER=<packages>
#         -DNAME=<package name> -P run_cpack.cmake
file(GLOB old "${FOLDER}/${NAME}[_-]*")
if(old)
  file(REMOVE ${old})
endif()
execute_process(COMMAND "${CPACK}" -G "${GENERATORS}" --config "${CONFIG}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack -G ${GENERATORS} failed (${rc})")
endif()
