# What a user installs, every name carrying the project's one version. On
# POSIX systems: the program and its manual pages (cmake --install), and a
# Debian package of them (cpack). On Windows: kelvane.exe, a readme and the
# samples (cmake --install), and a zip of them (cpack).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR kelvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert HTML files to Shift-JIS plain text")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS kelvane RUNTIME DESTINATION .)
  # Notepad reads the readme as UTF-8 by its byte order mark, which the source
  # file carries; the lines end in CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/readme.txt.in
                 ${PROJECT_BINARY_DIR}/readme.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/readme.txt DESTINATION .)
  file(GLOB KELVANE_SAMPLE_PAGES ${PROJECT_SOURCE_DIR}/samples/page-*.html)
  install(FILES ${KELVANE_SAMPLE_PAGES} DESTINATION samples)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kelvane-${PROJECT_VERSION}-windows-x64)
else()
  install(TARGETS kelvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The manual pages, English and Japanese, with the version filled in.
  set(KELVANE_MAN_PAGES ${PROJECT_BINARY_DIR}/man/kelvane.1 ${PROJECT_BINARY_DIR}/man/ja/kelvane.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/kelvane.1.in ${PROJECT_BINARY_DIR}/man/kelvane.1 @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/man/kelvane.ja.1.in ${PROJECT_BINARY_DIR}/man/ja/kelvane.1
                 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/man/ja/kelvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)

  # kelvane_X.Y.Z_amd64.deb, installed under /usr; dpkg-shlibdeps finds the
  # libraries it depends on.
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_CONTACT "kelvane developers <kelvane@localhost>")
  # The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kelvane turns HTML pages in UTF-8, UTF-16, Shift-JIS, EUC-JP or ISO-2022-JP
into Shift-JIS (code page 932) text with CR LF line ends, written beside
each page, or from standard input to standard output.")
endif()

include(CPack)
