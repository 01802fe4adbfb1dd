# What is installed, and the packages made from it. Every package takes its name and
# version from project(): the Debian package on Linux, the portable zip on Windows.
#
# Linux layout (prefix /usr for a package):
#   lib/tq8flash/      tq8flash, tq8sim and libVLdebug.so: the programs look for the
#                      debug-output library in their own folder first, and that folder
#                      belongs to root.
#   bin/               links to the two programs
#   share/tq8flash/examples/firmware   the sample bundle (found there by `tq8flash demo`)
#   share/tq8flash/update-record.schema.json   the JSON Schema of the update records
#   share/man/man1/    tq8flash.1.gz, tq8sim.1.gz (help2man, from the --help of each program
#                      and of each of its commands)
#   share/doc/tq8flash copyright, changelog.gz
#   /etc/tq8flash/trusted-keys/   the station's trusted public keys of signed bundles:
#                      an empty folder that the package owns; keys that an administrator
#                      puts there are no file of the package and survive its removal
# Windows layout: everything in one folder, the way the zip and the installer ship it,
# libgcrypt's DLLs beside the programs and an empty trusted-keys folder for the
# installation's trusted public keys.

set(TQ8_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

if(WIN32)
  # What the zip and the installer ship, all in one folder: one line per executable.
  # TQ8Flash.exe and SysInfo.Dll join with a line each once they are built here.
  set(TQ8_WINDOWS_ARTEFACTS
    TQ8Flash   # TQ8Flash.exe, the operators' program
    tq8flash   # tq8flash-cli.exe
    vldebug    # VLdebug.dll (file version of its own)
    sysinfo    # SysInfo.Dll
  )
  foreach(target IN LISTS TQ8_WINDOWS_ARTEFACTS)
    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION .)
  endforeach()
  # The signature check's library, from Debian's MinGW-w64 build, as it is.
  install(PROGRAMS ${TQ8_GCRYPT_DLLS} DESTINATION .)
  install(DIRECTORY DESTINATION trusted-keys)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/update-record.schema.json DESTINATION .)
  # Notepad of older Windows versions wants CR LF, whatever git checked out.
  file(READ ${TQ8_PACKAGING_DIR}/windows/README.txt readme)
  string(REPLACE "\r\n" "\n" readme "${readme}")
  string(REPLACE "\n" "\r\n" readme "${readme}")
  string(REPLACE "@VERSION@" "${PROJECT_VERSION}" readme "${readme}")
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/README.txt "${readme}")
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  return()
endif()

set(TQ8_PRIVATE_DIR lib/tq8flash)
set(TQ8_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tq8flash)

install(TARGETS tq8flash tq8sim RUNTIME DESTINATION ${TQ8_PRIVATE_DIR})
# A library, not a program: no execute bits.
install(TARGETS vldebug LIBRARY DESTINATION ${TQ8_PRIVATE_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(links ${CMAKE_BINARY_DIR}/packaging/bin)
file(MAKE_DIRECTORY ${links})
foreach(program tq8flash tq8sim)
  file(CREATE_LINK ../${TQ8_PRIVATE_DIR}/${program} ${links}/${program} SYMBOLIC)
  install(FILES ${links}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tq8flash/examples
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                              WORLD_READ WORLD_EXECUTE)

# The changelog's newest entry names the release: it must be this version.
file(STRINGS ${TQ8_PACKAGING_DIR}/debian/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tq8flash \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${newest}', "
                      "not with an entry for version ${PROJECT_VERSION}")
endif()

# gzip -n leaves out name and time, so the same text always packs to the same bytes.
find_program(TQ8_GZIP gzip REQUIRED)
find_program(TQ8_HELP2MAN help2man)
set(docs ${CMAKE_BINARY_DIR}/packaging/doc)
file(MAKE_DIRECTORY ${docs})
add_custom_command(OUTPUT ${docs}/changelog.gz
  COMMAND ${TQ8_GZIP} -9nc ${TQ8_PACKAGING_DIR}/debian/changelog > ${docs}/changelog.gz
  DEPENDS ${TQ8_PACKAGING_DIR}/debian/changelog VERBATIM)
set(doc_files ${docs}/changelog.gz)

if(TQ8_HELP2MAN)
  # help2man dates the page from SOURCE_DATE_EPOCH when it is set; cmake/ManPage.cmake keeps
  # the builder's own folders out of the page.
  set(tq8flash_man_options "-DNAME=update the firmware of a Kovra TQ VIII over RS-232"
                           -DWITH_COMMANDS=ON)
  set(tq8sim_man_options "-DNAME=simulated Kovra TQ VIII in bootloader mode on a pseudo-terminal"
                         -DVERSION_STRING=${PROJECT_VERSION})
  foreach(program tq8flash tq8sim)
    file(MAKE_DIRECTORY ${docs}/${program})
    add_custom_command(OUTPUT ${docs}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${TQ8_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${program}>
              -DINCLUDE=${TQ8_PACKAGING_DIR}/man/${program}.h2m -DWORK=${docs}/${program}
              -DOUTPUT=${docs}/${program}.1 ${${program}_man_options}
              -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMAND ${TQ8_GZIP} -9nf ${docs}/${program}.1
      DEPENDS ${program} ${TQ8_PACKAGING_DIR}/man/${program}.h2m
              ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
      COMMENT "Writing the manual page of ${program}" VERBATIM)
    list(APPEND doc_files ${docs}/${program}.1.gz)
    install(FILES ${docs}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found: no manual pages (scripts/setup.sh installs it)")
endif()
add_custom_target(tq8_package_docs ALL DEPENDS ${doc_files})

install(FILES ${TQ8_PACKAGING_DIR}/debian/copyright ${docs}/changelog.gz DESTINATION ${TQ8_DOC_DIR})
# Where the programs look for the station's trusted keys (/etc for the prefix /usr). No
# file of the package lies there, so there is no conffile to keep: dpkg removes the folder
# with the package only when it is empty.
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/tq8flash/trusted-keys)
# An example for the administrator, not a rule that the package makes active.
install(FILES ${TQ8_PACKAGING_DIR}/udev/99-tq8flash-latency.rules DESTINATION ${TQ8_DOC_DIR}/examples)
# The form of the update records, for the programs that read them.
install(FILES ${PROJECT_SOURCE_DIR}/docs/update-record.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tq8flash)
install(FILES ${TQ8_PACKAGING_DIR}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tq8flash)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tq8flash)
set(CPACK_PACKAGE_VENDOR Ostrelwerk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ostrelwerk Service <service@ostrelwerk.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware update utility for the Kovra TQ VIII")
# Lines of at most 79 characters: the control file keeps them as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "tq8flash updates the firmware of the Kovra TQ VIII machine over an RS-232\n"
  "line while the machine runs its bootloader: it checks the program and text\n"
  "files against their checksums, downloads them in acknowledged blocks and has\n"
  "the machine verify the result.\n"
  "\n"
  "tq8sim plays the machine in bootloader mode on a pseudo-terminal;\n"
  "the demo command of tq8flash updates the bundled sample firmware on it.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the libraries the programs link, libgcrypt20 among them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# tq8flash sends update records to a PostgreSQL record server through libpq, which it
# loads when a server is used rather than links, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libpq5")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
