# srecgen --sample DIR into a folder that does not exist yet, parents included, and into
# a path taken by a file. Run with -DSRECGEN=program [-DEMULATOR=wine] -DWORK=folder
# (relative to the working directory, so that a Windows build under wine sees it too).
file(REMOVE_RECURSE ${WORK})

set(bundle ${WORK}/fresh/firmware)
execute_process(COMMAND ${EMULATOR} ${SRECGEN} --sample ${bundle}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "srecgen --sample ${bundle} exited ${result}:\n${out}${err}")
endif()
foreach(name TQ8-PROG.MOT TQ8-TEXT.MOT TQ8-CRC.INI)
  if(NOT EXISTS ${bundle}/${name})
    message(FATAL_ERROR "srecgen --sample wrote no ${bundle}/${name}:\n${out}${err}")
  endif()
endforeach()
file(READ ${bundle}/TQ8-CRC.INI ini)
foreach(key TQ8-PROG.MOT TQ8-TEXT.MOT)
  if(NOT ini MATCHES "${key}=-?[0-9]+")
    message(FATAL_ERROR "TQ8-CRC.INI holds no value for ${key}:\n${ini}")
  endif()
endforeach()
file(SIZE ${bundle}/TQ8-PROG.MOT size)
if(size LESS 200000)
  message(FATAL_ERROR "TQ8-PROG.MOT has only ${size} bytes")
endif()

# A file where the folder should be: refused, and nothing written.
file(WRITE ${WORK}/taken "a file")
execute_process(COMMAND ${EMULATOR} ${SRECGEN} --sample ${WORK}/taken/firmware
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0 OR NOT err MATCHES "cannot create")
  message(FATAL_ERROR "srecgen --sample below a file exited ${result}:\n${out}${err}")
endif()

file(REMOVE_RECURSE ${WORK})
