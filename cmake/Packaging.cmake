# `cpack -G DEB` (see scripts/package): a Debian package of the programs,
# their shared files and the desktop's menu entry, file type and metadata.
# Its dependencies come from dpkg-shlibdeps, as a Debian build finds them.

set(doc ${CMAKE_INSTALL_DATADIR}/doc/velmora)
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright DESTINATION ${doc})
execute_process(COMMAND date -u -R -d "${VELMORA_RELEASE_DATE}"
                OUTPUT_VARIABLE VELMORA_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND gzip -9nkf ${changelog}
  DEPENDS ${changelog}
  VERBATIM)
add_custom_target(velmora_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_CONTACT "The Velmora developers <maintainers@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build search-engine entry pages and publish them")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora builds search-engine entry pages: plain HTML pages, each aimed at
one keyword phrase, filled from that phrase and its words, with links on to
the real home page. It keeps the pages in a project file (.kpj), generates
one HTML file per page with a sitemap, publishes them by FTP, FTPS or SFTP
and notifies search engines through IndexNow.

The package holds the desktop program velmora and velmora-cli, the same
work without a window for scripts and batch jobs.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://velmora.example/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform and picture plugins at run time, out of sight of
# dpkg-shlibdeps; on Debian 12 they come with libqt6gui6, which the
# programs link. xdg-open hands pages and addresses to the browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
