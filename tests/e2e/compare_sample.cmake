# Regenerates the sample bundle into a scratch folder and compares it byte for byte with
# the committed one, so the two never drift apart.
# cmake -DSRECGEN=... -DEXPECTED=.../examples/firmware -DSCRATCH=... -P compare_sample.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND ${SRECGEN} --sample ${SCRATCH} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "srecgen --sample failed: ${status}")
endif()
foreach(name TQ8-PROG.MOT TQ8-TEXT.MOT TQ8-CRC.INI)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/${name} ${EXPECTED}/${name}
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name}: the committed sample differs from what srecgen writes now")
  endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
