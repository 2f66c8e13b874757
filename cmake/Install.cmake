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

# The services, the single one and the template of one per adapter: their units name the installed program,
# under the prefix of the install itself (the package's is not the build's), and share one set of limits;
# the settings file is an example to copy to /etc/default.
set(KX_UNITS kx4136-logger.service kx4136-logger@.service)
foreach(unit IN LISTS KX_UNITS)
    install(CODE "
        set(KX_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        file(READ \"${KX_PACKAGING_DIR}/kx4136-logger-hardening.conf\" KX_HARDENING)
        configure_file(\"${KX_PACKAGING_DIR}/${unit}.in\" \"${CMAKE_CURRENT_BINARY_DIR}/${unit}\" @ONLY)")
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${unit} DESTINATION lib/systemd/system)
endforeach()
install(FILES ${KX_PACKAGING_DIR}/kx4136-logger.env DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# What every Debian package carries in its documentation folder: the copyright and the changelog.
install(FILES ${KX_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(KX_GZIP)
    set(KX_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
    add_custom_command(OUTPUT ${KX_CHANGELOG}
                       COMMAND ${KX_GZIP} -9nc ${KX_PACKAGING_DIR}/changelog > ${KX_CHANGELOG}
                       DEPENDS ${KX_PACKAGING_DIR}/changelog
                       VERBATIM)
    add_custom_target(kx4136-changelog ALL DEPENDS ${KX_CHANGELOG})
    install(FILES ${KX_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kx4136-logger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "temperature logger for KX4136 and KX4130 thermometers on a KA7700 1-Wire adapter")
# The maintainers' address: lintian asks for one; replace the reserved example domain with the real one.
set(CPACK_PACKAGE_CONTACT "kx4136-logger maintainers <maintainers@kx4136-logger.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Lines of at most 80 columns, as Debian's checks want them.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads KX4136 and KX4130 digital thermometers on a 1-Wire bus behind a\n"
    "KA7700 serial adapter at a fixed interval, shows the readings in a window or\n"
    "on a terminal, and appends them to a tab-separated log file. Includes a\n"
    "simulated bus for trying it without hardware.")
# The libraries the program links, as dpkg-shlibdeps finds them, with the versions their packages ask for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
