# Run by CTest as a test include file (see tq8_add_script_tests): asks the script for its
# tests, a line "NAME SECONDS ARG..." each, and registers every one as a test of its own
# that runs "bash SCRIPT --one NAME ARG..." within SECONDS. The list is asked for again
# only when the script or a program it lists from has changed since.
set(stale FALSE)
if(NOT EXISTS "${TQ8_LIST}")
  set(stale TRUE)
endif()
foreach(input IN LISTS TQ8_INPUTS)
  if(EXISTS "${input}" AND "${input}" IS_NEWER_THAN "${TQ8_LIST}")
    set(stale TRUE)
  endif()
endforeach()
if(stale)
  execute_process(COMMAND bash "${TQ8_SCRIPT}" --list WORKING_DIRECTORY "${TQ8_ROOT}"
                  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result
                  TIMEOUT 300)
  if(result EQUAL 0)
    file(WRITE "${TQ8_LIST}" "${listing}")
  else()
    file(REMOVE "${TQ8_LIST}")
    # One test that fails and says why.
    add_test("${TQ8_PREFIX}.list" bash "${TQ8_SCRIPT}" --list)
    set_tests_properties("${TQ8_PREFIX}.list" PROPERTIES LABELS "${TQ8_LABELS}"
                         WORKING_DIRECTORY "${TQ8_ROOT}")
    return()
  endif()
endif()

file(STRINGS "${TQ8_LIST}" lines)
foreach(line IN LISTS lines)
  separate_arguments(words UNIX_COMMAND "${line}")
  list(LENGTH words count)
  if(count LESS 2)
    continue()
  endif()
  list(POP_FRONT words name seconds)
  set(test "${TQ8_PREFIX}.${name}")
  add_test("${test}" bash "${TQ8_SCRIPT}" --one "${name}" ${words})
  # Wine's start-up is slow and the ports, prefixes and display are shared: one at a time.
  set_tests_properties("${test}" PROPERTIES LABELS "${TQ8_LABELS}" TIMEOUT "${seconds}"
                       ENVIRONMENT "TQ8_TIME_LIMIT=${seconds}" RUN_SERIAL TRUE
                       WORKING_DIRECTORY "${TQ8_ROOT}")
endforeach()
