# tq8_add_test(NAME name SOURCES ... LIBS ...)
# Natively every GoogleTest case becomes its own CTest test; under wine one test per
# binary keeps the emulator start-ups few.
function(tq8_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tq8_test_support GTest::gtest_main)
  tq8_link_resources(${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wine;${T_LABELS}")
  else()
    # A discovered test takes one value per property (a list would be cut at its first
    # element): the group's label where there is one, else "native".
    if(NOT T_LABELS)
      set(T_LABELS native)
    endif()
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS ${T_LABELS})
  endif()
endfunction()

# Every Windows executable carries the string table and version resources.
function(tq8_link_resources target)
  if(WIN32)
    target_link_libraries(${target} PRIVATE tq8_resources)
  endif()
endfunction()

# tq8_deploy_vldebug(target): puts the debug-output library beside an executable, where
# the program looks for it first. Call it after the target's output folder is set.
function(tq8_deploy_vldebug target)
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT dir)
    get_target_property(dir ${target} BINARY_DIR)
  endif()
  if(WIN32)
    set(copy ${dir}/VLdebug.dll)
  else()
    set(copy ${dir}/libVLdebug.so)
  endif()
  # Executables sharing a folder share one copy: one rule per output file.
  get_property(deploy GLOBAL PROPERTY "TQ8_VLDEBUG_DEPLOY ${copy}")
  if(NOT deploy)
    set(deploy ${target}_vldebug)
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vldebug> ${copy}
      DEPENDS vldebug
      COMMENT "Deploying the debug-output library to ${dir}" VERBATIM)
    add_custom_target(${deploy} ALL DEPENDS ${copy})
    set_property(GLOBAL PROPERTY "TQ8_VLDEBUG_DEPLOY ${copy}" ${deploy})
  endif()
  add_dependencies(${target} ${deploy})
endfunction()

# tq8_add_script_tests(PREFIX name SCRIPT path LABELS ... INPUTS targets...): the tests that
# a script in scripts/ runs against programs of this build, each one a CTest test of its own
# (PREFIX.NAME), listed by "bash SCRIPT --list" when CTest starts (cmake/Tq8ScriptTests.cmake)
# and again whenever the script or one of the INPUTS targets has changed.
function(tq8_add_script_tests)
  cmake_parse_arguments(T "" "PREFIX;SCRIPT" "LABELS;INPUTS" ${ARGN})
  set(inputs ${PROJECT_SOURCE_DIR}/${T_SCRIPT})
  foreach(target IN LISTS T_INPUTS)
    list(APPEND inputs $<TARGET_FILE:${target}>)
  endforeach()
  set(include ${CMAKE_CURRENT_BINARY_DIR}/${T_PREFIX}_tests.cmake)
  file(GENERATE OUTPUT ${include} CONTENT
"set(TQ8_PREFIX [==[${T_PREFIX}]==])
set(TQ8_SCRIPT [==[${PROJECT_SOURCE_DIR}/${T_SCRIPT}]==])
set(TQ8_ROOT [==[${PROJECT_SOURCE_DIR}]==])
set(TQ8_LABELS [==[${T_LABELS}]==])
set(TQ8_LIST [==[${CMAKE_CURRENT_BINARY_DIR}/${T_PREFIX}_tests.list]==])
set(TQ8_INPUTS [==[${inputs}]==])
include([==[${PROJECT_SOURCE_DIR}/cmake/Tq8ScriptTests.cmake]==])
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include})
endfunction()

# tq8_deploy_gcrypt_dlls(): puts the libgcrypt DLLs (TQ8_GCRYPT_DLLS) beside every Windows
# executable of the build, as the zip and the installer ship them. The loader looks in the
# executable's folder first, so a test program runs under wine from any prefix, any working
# folder and any caller (CTest, the scripts, a developer's own wine command) without a
# WINEPATH. Called once at the end of the top-level CMakeLists.txt, when every executable is
# known; one copy per output folder.
function(tq8_deploy_gcrypt_dlls)
  if(NOT TQ8_GCRYPT_DLLS)
    return()
  endif()
  set(pending ${PROJECT_SOURCE_DIR})
  set(executables "")
  while(pending)
    list(POP_FRONT pending source_dir)
    get_property(subdirs DIRECTORY ${source_dir} PROPERTY SUBDIRECTORIES)
    list(APPEND pending ${subdirs})
    get_property(targets DIRECTORY ${source_dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL EXECUTABLE)
        list(APPEND executables ${target})
      endif()
    endforeach()
  endwhile()
  foreach(target IN LISTS executables)
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT dir)
      get_target_property(dir ${target} BINARY_DIR)
    endif()
    string(MAKE_C_IDENTIFIER "${dir}" id)
    if(NOT TARGET tq8_gcrypt_dlls_${id})
      set(copies "")
      foreach(dll IN LISTS TQ8_GCRYPT_DLLS)
        get_filename_component(name ${dll} NAME)
        list(APPEND copies ${dir}/${name})
      endforeach()
      add_custom_command(OUTPUT ${copies}
        COMMAND ${CMAKE_COMMAND} -E copy ${TQ8_GCRYPT_DLLS} ${dir}
        DEPENDS ${TQ8_GCRYPT_DLLS} VERBATIM)
      add_custom_target(tq8_gcrypt_dlls_${id} ALL DEPENDS ${copies})
    endif()
    add_dependencies(${target} tq8_gcrypt_dlls_${id})
  endforeach()
endfunction()
