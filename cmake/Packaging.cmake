# The Debian package (cpack -G DEB, or the "package" target): the program
# folder as it is built - the window program, the link library beside it,
# the service, the simulator, the help file, the icon and the desktop entry -
# in /opt/rdx512, plus what the system needs to find them: links in
# /usr/bin, the desktop entry in /usr/share/applications and the service's
# unit file with its user. The service keeps its settings and logs in
# /var/lib/rdx512.

# The simulator and the demo client belong in the program folder as well.
install(TARGETS rdx512-sim rdx-exchange RUNTIME DESTINATION .)

# The system's share, outside the program folder: only the package installs
# it (a plain "cmake --install --prefix DIR" stays inside DIR).
if(TARGET rdx512-logd)
  set(RDX_SYSTEM_LINKS ${CMAKE_BINARY_DIR}/system-links)
  file(MAKE_DIRECTORY ${RDX_SYSTEM_LINKS}/bin ${RDX_SYSTEM_LINKS}/applications)
  foreach(program RDXMON-1_V104 rdx512-logd rdx512-sim)
    file(CREATE_LINK ${RDX_INSTALL_FOLDER}/${program} ${RDX_SYSTEM_LINKS}/bin/${program} SYMBOLIC)
  endforeach()
  file(CREATE_LINK ${RDX_INSTALL_FOLDER}/rdxmon.desktop ${RDX_SYSTEM_LINKS}/applications/rdxmon.desktop SYMBOLIC)
  install(DIRECTORY ${RDX_SYSTEM_LINKS}/bin/ DESTINATION /usr/bin COMPONENT system EXCLUDE_FROM_ALL)
  install(DIRECTORY ${RDX_SYSTEM_LINKS}/applications/ DESTINATION /usr/share/applications
          COMPONENT system EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/service/rdx512-logd.service DESTINATION /lib/systemd/system
          COMPONENT system EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/service/rdx512-logd.sysusers DESTINATION /usr/lib/sysusers.d
          RENAME rdx512-logd.conf COMPONENT system EXCLUDE_FROM_ALL)
  # The drop-in that lets the service onto the simulator's pseudo-terminals:
  # an example, not installed where systemd reads it.
  install(FILES ${PROJECT_SOURCE_DIR}/service/rdx512-logd-simulator.conf
          DESTINATION /usr/share/doc/rdx512-monitor/examples COMPONENT system EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME rdx512-monitor)
set(CPACK_PACKAGE_VENDOR "RDX-512 monitor project")
set(CPACK_PACKAGE_CONTACT "RDX-512 monitor maintainers <rdx512@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitor, logging service and simulator for RDX-512 process recorders")
set(CPACK_PACKAGE_DESCRIPTION "The window program RDXMON-1_V104 and its link library RDX500Comm3, \
the headless logging service rdx512-logd with its systemd unit, and the recorder simulator rdx512-sim.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${RDX_INSTALL_FOLDER})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

# One package holding the program folder and the system's share.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified system)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The link library is loaded from the program folder at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${RDX_PROGRAM_DIR})
# The help viewer's SQLite driver is a plug-in the library scan cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/service/debian/postinst
    ${PROJECT_SOURCE_DIR}/service/debian/prerm
    ${PROJECT_SOURCE_DIR}/service/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
