# What `cmake --install` puts where (FHS and XDG places under the prefix). debian/ splits it into
# two packages: quorvel-cli (the command line, the engine library, their manual pages and
# completions; no Qt or X) and quorvel (the window); the component names say which is which.
include(GNUInstallDirs)

# quorvel-cli and dlget load the engine library from <libdir>/quorvel/ (lib/<triplet>/quorvel/
# on Debian) beside their bin/; the installed window loads it and its skin library from there.
set(engine_libdir ${CMAKE_INSTALL_LIBDIR}/quorvel)
file(RELATIVE_PATH bin_to_engine /${CMAKE_INSTALL_BINDIR} /${engine_libdir})
set_target_properties(quorvel-cli dlget PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_engine}")
install(TARGETS quorvel-cli dlget RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(TARGETS dlcore LIBRARY DESTINATION ${engine_libdir} COMPONENT cli)
# The engine's partner file: data, which the installed engine reads from the data folder.
install(FILES ${CMAKE_SOURCE_DIR}/payload/id.dat DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel COMPONENT cli)

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

# Manual pages from the programs' own --help and --version, by help2man at build time, with
# the sections a help has not (data/man/PROGRAM.h2m), mended for Chinese text (tidy.pl) and
# compressed as Debian wants them (gzip -n: no name or time stamp inside). The Chinese pages
# are in man1: they are the only pages of quorvel-cli and quorvel, whose help is Chinese.
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
              ${HELP2MAN} --locale=C.UTF-8 --include=${data}/man/common.h2m --include=${data}/man/${program}.h2m
              --no-info --no-discard-stderr "--name=${what_${program}}" --output=${page}
              $<TARGET_FILE:${program}>
      COMMAND perl ${data}/man/tidy.pl ${page}
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${data}/man/common.h2m ${data}/man/${program}.h2m ${data}/man/tidy.pl
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
