# The Debian package: `cpack -G DEB` in a build folder packs everything the build installs
# (the programs, the desktop entry, the JWW file type, the icon and whatever else has an
# install rule) under /usr, with the README, copyright, changelog and manual pages in the
# places Debian's tools look for them. scripts/package.sh builds it in Release.

set(DORVAN_PACKAGE_MAINTAINER "dorvan developers <dorvan@example.org>"
    CACHE STRING "The Maintainer field of the Debian package")

set(dorvan_doc_dir share/doc/${PROJECT_NAME})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${dorvan_doc_dir})

# Debian wants the changelog and manual pages compressed with the most compression and
# without a time stamp, so that two builds give the same bytes.
set(dorvan_compressed)
function(dorvan_compress source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source}
    VERBATIM)
  set(dorvan_compressed ${dorvan_compressed} ${output} PARENT_SCOPE)
endfunction()

set(dorvan_package_dir ${CMAKE_BINARY_DIR}/package-files)
file(MAKE_DIRECTORY ${dorvan_package_dir}/man1)
dorvan_compress(${CMAKE_CURRENT_LIST_DIR}/changelog ${dorvan_package_dir}/changelog.gz)
install(FILES ${dorvan_package_dir}/changelog.gz DESTINATION ${dorvan_doc_dir})
# A manual page for every program this build makes that has one.
foreach(program dorvan dorvan-search dorvan-render)
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${program}.1)
  if(TARGET ${program} AND EXISTS ${page})
    dorvan_compress(${page} ${dorvan_package_dir}/man1/${program}.1.gz)
    install(FILES ${dorvan_package_dir}/man1/${program}.1.gz DESTINATION share/man/man1)
  endif()
endforeach()
# The server's package has its own documentation folder, as Debian wants.
if(TARGET dorvan-server)
  set(server_doc_dir share/doc/dorvan-server)
  dorvan_compress(${PROJECT_SOURCE_DIR}/docs/man/dorvan-server.1 ${dorvan_package_dir}/man1/dorvan-server.1.gz)
  install(FILES ${dorvan_package_dir}/man1/dorvan-server.1.gz DESTINATION share/man/man1 COMPONENT server)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${dorvan_package_dir}/changelog.gz
          DESTINATION ${server_doc_dir} COMPONENT server)
endif()
add_custom_target(dorvan_package_files ALL DEPENDS ${dorvan_compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "dorvan developers")
set(CPACK_PACKAGE_CONTACT "${DORVAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop search for JWW drawings")
# Debian shows the description as it is, so its lines are broken here.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "dorvan searches drawings in the JWW format for a text, a memo, a file version,"
  "a drawing size, layer group and layer names, the print line-width base or block"
  "names, and lists the drawings that match. Targets are picked files, dropped"
  "files or a scanned folder tree; drawings that cannot be read are listed apart."
  ""
  "The package holds the desktop application dorvan (Qt 6, Japanese user"
  "interface), the command-line search dorvan-search for scripts and terminals,"
  "the picture writer dorvan-render (PNG, SVG, PDF, and DXF for CAD programs),"
  "which also gives file managers their JWW thumbnails, the desktop entry, the"
  "JWW file type and the icon.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # dorvan_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DORVAN_PACKAGE_MAINTAINER}")
# The dependencies are those of the linked shared libraries (Qt, ICU, PCRE2, zlib, the C++
# runtime), with the versions the build machine's libraries need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions and the pictures' texts are set in IPA Gothic, and texts in a Mincho
# font in IPA Mincho; without them Qt falls back to whatever Japanese font there is, with
# other widths.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-ipafont-mincho, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
# Two packages when the server is built: dorvan (everything installed without a component)
# and dorvan-server (the server, its unit, its example configuration and the search page).
if(TARGET dorvan-server)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME ${PROJECT_NAME})
  set(CPACK_DEBIAN_UNSPECIFIED_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}\n${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_SERVER_PACKAGE_NAME ${PROJECT_NAME}-server)
  set(CPACK_DEBIAN_SERVER_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-ipafont-mincho")
  string(JOIN "\n" CPACK_DEBIAN_SERVER_DESCRIPTION
    "office search server for JWW drawings"
    "dorvan-server runs beside an office's drawing archive, keeps one index of it"
    "fresh by itself (inotify on local folders, rescans on network shares) and"
    "answers everyone's searches over HTTP: a JSON interface and a browser page,"
    "with results shown as the Windows paths the office's PCs know. A search finds"
    "exactly what the desktop application finds."
    ""
    "The package holds the server, its hardened systemd unit, an example"
    "configuration, the search page and the manual page.")
  # Its maintainer scripts restart a running server on an upgrade, stop it on removal and
  # remove its links, index and lists on a purge; a first installation starts nothing.
  set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
      "${CMAKE_CURRENT_LIST_DIR}/server/postinst;${CMAKE_CURRENT_LIST_DIR}/server/prerm;${CMAKE_CURRENT_LIST_DIR}/server/postrm")
  set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Each package's description then begins with its own synopsis: CPack puts the global
  # summary in front of every component's description unless it is left at its default.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
