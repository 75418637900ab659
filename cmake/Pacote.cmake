# What an installed agent brings besides its program and desktop files: the
# man page, the systemd user unit, an example configuration file and the
# package's documents; and the Debian package made of all of it with CPack
# (cpack -G DEB in the build folder gives tolvex-agent_X.Y.Z_amd64.deb).
include(GNUInstallDirs)

set(tolvex_pacote ${PROJECT_SOURCE_DIR}/docs/pacote)
set(tolvex_pacote_bin ${PROJECT_BINARY_DIR}/pacote)
set(TOLVEX_VERSAO ${PROJECT_VERSION})

# Man page and changelog carry the version; Debian wants both compressed,
# reproducibly (-n: no name or time stamp in the header).
find_program(TOLVEX_GZIP gzip REQUIRED)
set(tolvex_docs_gz)
foreach(doc tolvex-agent.1 changelog)
  configure_file(${tolvex_pacote}/${doc} ${tolvex_pacote_bin}/${doc} @ONLY)
  add_custom_command(OUTPUT ${tolvex_pacote_bin}/${doc}.gz
    COMMAND ${TOLVEX_GZIP} -9nkf ${tolvex_pacote_bin}/${doc}
    DEPENDS ${tolvex_pacote_bin}/${doc}
    COMMENT "Compressing ${doc}")
  list(APPEND tolvex_docs_gz ${tolvex_pacote_bin}/${doc}.gz)
endforeach()
add_custom_target(tolvex_docs ALL DEPENDS ${tolvex_docs_gz})

set(tolvex_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tolvex-agent)
install(FILES ${tolvex_pacote_bin}/tolvex-agent.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${tolvex_pacote_bin}/changelog.gz ${tolvex_pacote}/copyright
  DESTINATION ${tolvex_doc_dir})
# The example holds password keys: readable by its owner only, like the
# file made from it must be.
install(FILES ${tolvex_pacote}/agente.conf DESTINATION ${tolvex_doc_dir}/examples
  PERMISSIONS OWNER_READ OWNER_WRITE)
install(FILES ${tolvex_pacote}/tolvex-agent.service DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvex-agent)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tolvex)
set(CPACK_PACKAGE_CONTACT "Tolvex <suporte@tolvex.com.br>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PDV import agent for the Tolvex back office")
set(CPACK_PACKAGE_DESCRIPTION
    "Imports customers and products from the Tolvex back-office database into the\n"
    "point-of-sale (PDV) database: from the tray of the desktop session, or as a\n"
    "systemd user service without windows.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tolvex.com.br/")
# Files in /etc are the administrator's once installed.
file(WRITE ${tolvex_pacote_bin}/conffiles "/etc/xdg/autostart/tolvex-agent.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${tolvex_pacote_bin}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Only the agent's own install rules, not those of test frameworks.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
