# Installs the build into a fresh prefix, builds a C project against the
# installed package (find_package, both libraries, and pkg-config) and runs
# what it built, and the installed aacdec.
#
# -D BUILD_DIR, CONSUMER_DIR, WORK_DIR, STREAM, C_COMPILER, LIBDIR, SANITIZE
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(JOIN " " command ${ARGN})
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/lumdec.h ${LIBDIR}/liblumdec.a ${LIBDIR}/liblumdec.so
             ${LIBDIR}/pkgconfig/lumdec.pc ${LIBDIR}/cmake/lumdec/lumdecConfig.cmake bin/aacdec)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G Ninja
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_C_FLAGS=${flags}" "-DCMAKE_EXE_LINKER_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer_shared ${STREAM})
run(${WORK_DIR}/consumer/consumer_static ${STREAM})

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs lumdec OUTPUT_VARIABLE pc_flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(san UNIX_COMMAND "${flags}")
  run(${C_COMPILER} ${san} ${CONSUMER_DIR}/consumer.c ${pc_flags} -o ${WORK_DIR}/consumer_pc)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} ${WORK_DIR}/consumer_pc ${STREAM})
endif()

run(${prefix}/bin/aacdec --info ${STREAM})
