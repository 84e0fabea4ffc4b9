# Part of the install, run once the programs are in place, when the prefix is known: the polkit
# action file and the desktop entry, with the installed paths filled in, and the links of the
# programs in PREFIX/bin. WORK is the build's folder of their templates; POLKIT_ACTIONS the
# folder that polkit reads, which takes the action file whatever the prefix (under DESTDIR, as
# everything).
set(program_dir "${CMAKE_INSTALL_PREFIX}/lib/cvw")
set(CVW_PROGRAM "${program_dir}/wipedesk")
# pkexec compares the action's path with the program's own, links resolved: where the prefix
# lies on this system already, its real path is the one to name.
if("$ENV{DESTDIR}" STREQUAL "" AND EXISTS "${CVW_PROGRAM}")
  file(REAL_PATH "${CVW_PROGRAM}" CVW_PROGRAM)
endif()
set(CVW_LAUNCHER "${CMAKE_INSTALL_PREFIX}/bin/wipelaunch")
if(CVW_LAUNCHER MATCHES " ")
  set(CVW_LAUNCHER "\"${CVW_LAUNCHER}\"")
endif()

file(MAKE_DIRECTORY "${WORK}/installed")
foreach(entry "org.cvw.wipedesk.policy|${POLKIT_ACTIONS}"
              "wipedesk.desktop|${CMAKE_INSTALL_PREFIX}/share/applications")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 folder)
  configure_file("${WORK}/${name}.in" "${WORK}/installed/${name}" @ONLY)
  file(INSTALL DESTINATION "${folder}" TYPE FILE FILES "${WORK}/installed/${name}")
endforeach()

# Relative links, so that the prefix can move (and a DESTDIR tree works where it lies).
foreach(name wipedesk wipelaunch cvwdrv)
  set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${name}")
  message(STATUS "Installing: ${link} -> ../lib/cvw/${name}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(REMOVE "${link}")
  file(CREATE_LINK "../lib/cvw/${name}" "${link}" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/bin/${name}")
endforeach()
