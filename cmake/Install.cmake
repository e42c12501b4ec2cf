# SPDX-License-Identifier: MIT
# Installation: the programs in bin/, the project's own shared libraries and
# the sockets and dial-up stand-ins in a private folder found through a
# relative RPATH, the read-me, manual pages, desktop entry, AppStream metadata
# and icons where a Linux desktop looks for them; and a Debian package of all
# of it (cpack -G DEB) that lintian accepts.

# The private libraries go in lib/<architecture>/dirweigh where the system
# names its architecture (as Debian does), not lib/dirweigh: for a library in
# a direct subfolder of lib/, CPack adds ldconfig calls to the package, which
# libraries found through the RPATH never need and lintian warns of.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT CMAKE_INSTALL_LIBDIR MATCHES "/${CMAKE_LIBRARY_ARCHITECTURE}$")
  set(DIRWEIGH_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/${CMAKE_LIBRARY_ARCHITECTURE}/dirweigh)
else()
  set(DIRWEIGH_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/dirweigh)
endif()
set(DIRWEIGH_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/dirweigh)

# Each path as seen from bin/, so that a staged or moved installation finds
# its own files and never the build tree's.
file(RELATIVE_PATH relative_libdir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${DIRWEIGH_PRIVATE_LIBDIR})
file(RELATIVE_PATH relative_docdir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${DIRWEIGH_DOCDIR})
target_compile_definitions(platform PRIVATE
  DIRWEIGH_RELATIVE_LIBDIR="${relative_libdir}"
  DIRWEIGH_RELATIVE_DOCDIR="${relative_docdir}")

set_target_properties(dirweigh dirweigh-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${relative_libdir}")
set_target_properties(platform netcore net dialup listing ftp sitetree sshclient walk wsock32 rasapi32 PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS dirweigh dirweigh-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS platform netcore net dialup listing ftp sitetree sshclient walk wsock32 rasapi32
  LIBRARY DESTINATION ${DIRWEIGH_PRIVATE_LIBDIR}
  NAMELINK_SKIP)
install(FILES app/dirweigh.txt DESTINATION ${DIRWEIGH_DOCDIR})
# Software centres find the program by its AppStream id; the desktop entry
# carries the same name, which is how the two are paired.
install(FILES app/io.github.dirweigh.DirWeigh.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/io.github.dirweigh.DirWeigh.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES app/icons/dirweigh.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES app/icons/48x48/dirweigh.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

# dirweigh-cli's bash completion goes where bash-completion loads a command's
# script from when the command is first completed. That folder is asked of
# bash-completion itself and kept relative to its prefix, so that it falls
# under this installation's prefix (and in the package) like the rest; one
# outside that prefix, or no bash-completion, gives the usual folder.
find_package(PkgConfig QUIET)
set(DIRWEIGH_COMPLETIONSDIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(bash_completion_dir bash-completion completionsdir)
  pkg_get_variable(bash_completion_prefix bash-completion prefix)
  if(bash_completion_dir AND bash_completion_prefix)
    file(RELATIVE_PATH relative_completionsdir ${bash_completion_prefix} ${bash_completion_dir})
    if(NOT relative_completionsdir MATCHES "^\\.\\.")
      set(DIRWEIGH_COMPLETIONSDIR ${relative_completionsdir})
    endif()
  endif()
endif()
install(FILES ${DIRWEIGH_BASH_COMPLETION} DESTINATION ${DIRWEIGH_COMPLETIONSDIR})

set(CPACK_PACKAGE_NAME dirweigh)
set(CPACK_PACKAGE_VENDOR "DirWeigh")
set(CPACK_PACKAGE_CONTACT "DirWeigh developers <dirweigh@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measure the size of a web site on an FTP server")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Wrapped by hand: the control file keeps each line as written, and Debian
# wants none past 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
DirWeigh logs on to the FTP server a web site is published on, walks every
directory below the start directory and adds up the file sizes: bytes,
kilobytes and the number of files. The window shows every command and reply
as it goes; dirweigh-cli does the same walk for scripts, with plain, JSON
and per-directory output.]])
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries are ours: dpkg-shlibdeps must find them, not ask
# for a package that provides them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# The window needs a Qt platform plugin (xcb, wayland), which no binary
# links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_INSTALL_DIRECTORY dirweigh)
set(CPACK_SET_DESTDIR OFF)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(${CMAKE_CURRENT_LIST_DIR}/DebianDocs.cmake)
include(CPack)
