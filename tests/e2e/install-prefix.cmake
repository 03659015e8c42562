# cmake -DBUILD_DIR=... -DPREFIX=... -P install-prefix.cmake
# Installs the build into an empty prefix, as a package would, so that the
# end-to-end tests run what ships rather than the build tree.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install into ${PREFIX} failed: ${rc}")
endif()
