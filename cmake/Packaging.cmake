# The Debian package (cpack -G DEB, or the "package" target): the program
# folder as it is built - the window program, the link library beside it,
# the service, the simulator, the demo client, the help file - in
# /usr/lib/rdx512, plus what the system needs to find them: links in
# /usr/bin, the desktop entry, the icon in the hicolor theme, the manual
# pages, the copyright file and the changelog, and the service's unit file
# with its user. The service keeps its settings and logs in /var/lib/rdx512;
# each user of the window program has a folder of their own
# (monitor/startup/FilesFolder.h).

# The simulator and the demo client belong in the program folder as well.
install(TARGETS rdx512-sim rdx-exchange RUNTIME DESTINATION .)

# The system's share, outside the program folder: only the package installs
# it (a plain "cmake --install --prefix DIR" stays inside DIR).
if(TARGET rdx512-logd)
  set(RDX_SYSTEM_FILES ${CMAKE_BINARY_DIR}/system-files)
  file(MAKE_DIRECTORY ${RDX_SYSTEM_FILES}/bin)
  foreach(program RDXMON-1_V104 rdx512-logd rdx512-sim rdx-exchange)
    file(RELATIVE_PATH target /usr/bin ${RDX_INSTALL_FOLDER}/${program})
    file(CREATE_LINK ${target} ${RDX_SYSTEM_FILES}/bin/${program} SYMBOLIC)
  endforeach()
  install(DIRECTORY ${RDX_SYSTEM_FILES}/bin/ DESTINATION /usr/bin COMPONENT system EXCLUDE_FROM_ALL)
  # The desktop entry starts the program by its name and shows the icon of
  # the icon theme.
  set(RDX_DESKTOP_EXEC RDXMON-1_V104)
  set(RDX_DESKTOP_PATH "")
  set(RDX_DESKTOP_ICON rdxmon)
  configure_file(${PROJECT_SOURCE_DIR}/monitor/resources/rdxmon.desktop.in ${RDX_SYSTEM_FILES}/rdxmon.desktop @ONLY)
  install(FILES ${RDX_SYSTEM_FILES}/rdxmon.desktop DESTINATION /usr/share/applications
          COMPONENT system EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/monitor/resources/rdxmon.png
          DESTINATION /usr/share/icons/hicolor/128x128/apps COMPONENT system EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/man/RDXMON-1_V104.1.gz ${CMAKE_BINARY_DIR}/man/rdx512-sim.1.gz
                ${CMAKE_BINARY_DIR}/man/rdx-exchange.1.gz
          DESTINATION /usr/share/man/man1 COMPONENT system EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_BINARY_DIR}/man/rdx512-logd.8.gz
          DESTINATION /usr/share/man/man8 COMPONENT system EXCLUDE_FROM_ALL)
  # The copyright file and the changelog (compressed, without a time stamp).
  configure_file(${PROJECT_SOURCE_DIR}/service/debian/changelog.in ${RDX_SYSTEM_FILES}/changelog @ONLY)
  execute_process(COMMAND gzip -9nf ${RDX_SYSTEM_FILES}/changelog)
  install(FILES ${PROJECT_SOURCE_DIR}/service/debian/copyright ${RDX_SYSTEM_FILES}/changelog.gz
          DESTINATION /usr/share/doc/rdx512-monitor COMPONENT system EXCLUDE_FROM_ALL)
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
# The maintainers' address: set RDX_PACKAGE_CONTACT to the real one.
set(RDX_PACKAGE_CONTACT "RDX-512 monitor maintainers <rdx512-monitor@example.org>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_CONTACT "${RDX_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Monitor, logging service and simulator for RDX-512 process recorders")
set(CPACK_PACKAGE_DESCRIPTION "The window program RDXMON-1_V104 and its link library RDX500Comm3,
the headless logging service rdx512-logd with its systemd unit, the
recorder simulator rdx512-sim and the demo client rdx-exchange.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${RDX_INSTALL_FOLDER})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

# One package holding the program folder and the system's share.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Not "folder": a folder's own icon and desktop entry (docs/CMakeLists.txt).
set(CPACK_COMPONENTS_ALL Unspecified system)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The link library is loaded from the program folder at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${RDX_PROGRAM_DIR})
# The help viewer's SQLite driver is a plug-in the library scan cannot see.
# adduser for the maintainer scripts (deb-systemd-helper is essential).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/service/debian/postinst
    ${PROJECT_SOURCE_DIR}/service/debian/prerm
    ${PROJECT_SOURCE_DIR}/service/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
