# What `cmake --install` puts where (FHS and XDG places under the prefix), and the two Debian
# packages of it (`cpack -G DEB`, see scripts/package.sh): quorvel-cli (the command line, the
# engine library, their manual pages and completion; no Qt or X) and quorvel (the window).
include(GNUInstallDirs)

# quorvel-cli and dlget load the engine library from <libdir>/quorvel/ (lib/<triplet>/quorvel/
# on Debian) beside their bin/; the installed window loads it and its skin library from there.
set(engine_libdir ${CMAKE_INSTALL_LIBDIR}/quorvel)
file(RELATIVE_PATH bin_to_engine /${CMAKE_INSTALL_BINDIR} /${engine_libdir})
set_target_properties(quorvel-cli dlget PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_engine}")
install(TARGETS quorvel-cli dlget RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(TARGETS dlcore LIBRARY DESTINATION ${engine_libdir} COMPONENT cli)
# The engine's partner file, which it reads beside itself.
install(FILES ${CMAKE_SOURCE_DIR}/payload/id.dat DESTINATION ${engine_libdir}/.download COMPONENT cli)

set(data ${CMAKE_SOURCE_DIR}/data)
if(QUORVEL_GUI)
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  # The installed window loads its skin library from here and the engine library of quorvel-cli.
  install(TARGETS skinkit LIBRARY DESTINATION ${engine_libdir} COMPONENT gui)
  install(FILES ${data}/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${data}/io.github.quorvel.Quorvel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
          COMPONENT gui)
  install(FILES ${data}/icons/quorvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT gui)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${data}/icons/quorvel-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorvel.png COMPONENT gui)
  endforeach()
endif()
install(FILES ${data}/completion/quorvel-cli ${data}/completion/dlget DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        COMPONENT cli)

# The copyright file and the changelog, where Debian wants them.
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND gzip -9nc ${data}/debian/changelog > ${changelog}
  DEPENDS ${data}/debian/changelog)
add_custom_target(changelog ALL DEPENDS ${changelog})
install(FILES ${data}/debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel-cli COMPONENT cli)
if(QUORVEL_GUI)
  install(FILES ${data}/debian/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel COMPONENT gui)
endif()

# Manual pages from the programs' own --help and --version, by help2man at build time,
# compressed as Debian wants them (gzip -n: no name or time stamp inside).
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(what_quorvel-cli "search, download and verify navigation-device releases and map data")
  set(what_dlget "download a file through the Quorvel engine")
  set(what_quorvel "download navigation-device releases and map data (the window)")
  set(programs quorvel-cli dlget)
  if(QUORVEL_GUI)
    list(APPEND programs quorvel)
  endif()
  foreach(program ${programs})
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      # The engine library from the build tree: a package build links the programs with
      # their installed RUNPATH, which does not find it here.
      COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=$<TARGET_FILE_DIR:dlcore>
              # A UTF-8 locale: in the C locale help2man writes each Chinese character as "?".
              ${HELP2MAN} --locale=C.UTF-8 --include=${data}/man/common.h2m
              --no-info --no-discard-stderr "--name=${what_${program}}" --output=${page}
              $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${data}/man/common.h2m
      COMMENT "Writing the manual page of ${program}"
      VERBATIM)
    list(APPEND manual_pages ${page}.gz)
    set(component cli)
    if(program STREQUAL "quorvel")
      set(component gui)
    endif()
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${manual_pages})
else()
  message(STATUS "help2man not found: no manual pages")
endif()

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel developers <quorvel@quorvel.invalid>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvel.github.io/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
set(CPACK_DEBIAN_CLI_PACKAGE_NAME quorvel-cli)
set(CPACK_COMPONENT_CLI_DESCRIPTION "navigation-device releases and map data from a shell
quorvel-cli asks the map vendor's channel portal which main-program release
exists for a device number, downloads it, its torrent or any of 24 map-data
packages through the Quorvel download engine (several connections, resume,
a speed limit), fetches torrents' content through the BitTorrent swarm and
checks archives against their torrents. dlget downloads any address through
the same engine.")
if(QUORVEL_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
  set(CPACK_DEBIAN_GUI_PACKAGE_NAME quorvel)
  set(CPACK_DEBIAN_GUI_PACKAGE_SECTION net)
  # The engine library comes with quorvel-cli; a fresh machine has no CJK font, and without
  # one every caption is a row of boxes.
  set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "quorvel-cli (= ${PROJECT_VERSION}), fonts-wqy-microhei | fonts-noto-cjk")
  set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS "qt6-translations-l10n")
  set(CPACK_COMPONENT_GUI_DESCRIPTION "navigation-device releases and map data, in a window
Quorvel asks the map vendor's channel portal which main-program release
exists for a device number, downloads it, its torrent or any of 24 map-data
packages with live progress, keeps every download in a list with pause,
resume and a speed limit, and checks archives against their torrents.")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
