# Installs the build into a scratch prefix and checks that bin/ holds every
# program, and nothing is left of the prefix afterwards.
#   cmake -DBUILD_DIR=... -DPROGRAMS="a;b" -DPREFIX=... -P install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
set(missing "")
foreach(program IN LISTS PROGRAMS)
  if(NOT EXISTS "${PREFIX}/bin/${program}" OR IS_DIRECTORY "${PREFIX}/bin/${program}")
    list(APPEND missing "${program}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed with status ${status}")
endif()
if(missing)
  message(FATAL_ERROR "not installed into bin/: ${missing}")
endif()
