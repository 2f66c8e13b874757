# Install rules and the Debian package: the program, its desktop entry, icon, manual page and service.
# Included from the top level after the folders, once the program target exists.
include(GNUInstallDirs)

set(KX_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS kx4136-logger RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${KX_PACKAGING_DIR}/kx4136-logger.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KX_PACKAGING_DIR}/kx4136-logger.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants manual pages compressed; -n keeps the archive free of a time stamp so builds repeat.
find_program(KX_GZIP gzip)
if(KX_GZIP)
    set(KX_MANPAGE ${CMAKE_CURRENT_BINARY_DIR}/kx4136-logger.1.gz)
    add_custom_command(OUTPUT ${KX_MANPAGE}
                       COMMAND ${KX_GZIP} -9nc ${KX_PACKAGING_DIR}/kx4136-logger.1 > ${KX_MANPAGE}
                       DEPENDS ${KX_PACKAGING_DIR}/kx4136-logger.1
                       VERBATIM)
    add_custom_target(kx4136-manpage ALL DEPENDS ${KX_MANPAGE})
else()
    set(KX_MANPAGE ${KX_PACKAGING_DIR}/kx4136-logger.1)
endif()
install(FILES ${KX_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The service: its unit names the installed program, under the prefix of the install itself (the package's is
# not the build's); the settings file is an example to copy to /etc/default.
install(CODE "
    set(KX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${KX_PACKAGING_DIR}/kx4136-logger.service.in\"
                   \"${CMAKE_CURRENT_BINARY_DIR}/kx4136-logger.service\" @ONLY)")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kx4136-logger.service DESTINATION lib/systemd/system)
install(FILES ${KX_PACKAGING_DIR}/kx4136-logger.env DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kx4136-logger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "temperature logger for KX4136 and KX4130 thermometers on a KA7700 1-Wire adapter")
set(CPACK_PACKAGE_CONTACT "kx4136-logger developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads KX4136 and KX4130 digital thermometers on a 1-Wire bus behind a KA7700 serial adapter at a\n"
    "fixed interval, shows the readings in a window or on a terminal, and appends them to a\n"
    "tab-separated log file. Includes a simulated bus for trying it without hardware.")
# Named outright rather than computed by dpkg-shlibdeps, which would list these a second time with other
# versions; the C and C++ runtimes come in through the Qt packages.
string(CONCAT CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6serialport6 (>= 6.4), "
    "libqt6charts6 (>= 6.4), libmosquitto1 (>= 2.0)")
include(CPack)
