# The Debian package (cmake --build --preset default --target package): the host and its
# plug-in in /usr/lib/tunnelhost (the host loads the plug-in from beside itself), tunnelhost
# and tunneldb on the PATH, the schema files, a desktop entry and icon, man pages, and a
# monthly timer for tunneldb partitions, installed disabled.
include(GNUInstallDirs)

set(TUNNEL_HOST_DIR ${CMAKE_INSTALL_LIBDIR}/tunnelhost)
install(TARGETS tunnelhost RUNTIME DESTINATION ${TUNNEL_HOST_DIR})
install(TARGETS devicemgmt LIBRARY DESTINATION ${TUNNEL_HOST_DIR})
install(TARGETS tunneldb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(RELATIVE_PATH host_from_bin /usr/${CMAKE_INSTALL_BINDIR}
     /usr/${TUNNEL_HOST_DIR}/tunnelhost)
file(CREATE_LINK ${host_from_bin} ${CMAKE_CURRENT_BINARY_DIR}/tunnelhost-link SYMBOLIC)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tunnelhost-link DESTINATION ${CMAKE_INSTALL_BINDIR}
        RENAME tunnelhost)

install(FILES schema/sqlite.sql schema/postgresql.sql schema/sqlserver.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tunnelhost/schema)
install(FILES README.md docs/PERFORMANCE.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tunnelhost)
install(FILES packaging/tunnelhost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/tunnelhost.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

foreach(page tunnelhost tunneldb)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${page}.1 >
            ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${page}.1)
  list(APPEND man_pages ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES packaging/tunneldb-partitions.service packaging/tunneldb-partitions.timer
        DESTINATION lib/systemd/system)
install(FILES packaging/tunneldb-partitions.default DESTINATION /etc/default
        RENAME tunneldb-partitions)
install(FILES packaging/tunnelhost.conf DESTINATION /etc)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tunnelhost)
set(CPACK_PACKAGE_VENDOR "Tunnel monitoring")
set(CPACK_PACKAGE_CONTACT "Tunnel monitoring developers <tunnel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Device management of a highway tunnel's monitoring: register, wiring, areas, histories")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not found by dpkg-shlibdeps: the database drivers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-odbc, tdsodbc, postgresql")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/packaging/conffiles)
include(CPack)
