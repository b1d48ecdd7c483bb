# The layers point one way: no source outside app/ includes a Qt header or a header of app/;
# and the system's own headers are included only by the platform seam (common/platform/).
# Run by CTest with SOURCE_DIR set. (What each target links is checked when CMake configures:
# cmake/layers.cmake.)
set(failures "")

# Includes: every source file of the Qt-free folders.
foreach(folder common text http catalogue torrent engine payload)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.c)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
      if(line MATCHES "<Q[A-Za-z]*>" OR line MATCHES "<Qt[A-Za-z]*/")
        list(APPEND failures "${source}: includes Qt: ${line}")
      endif()
      # The headers of app/ by their names.
      if(line MATCHES "\"(mainwindow|controls|widgettext|wiring|downloadhandlers|searchhandlers|settings|fatalerror|language|programstate|librarycall|carriedfiles|processguard|programfolder|registryfile|enginecalls|skin)\\.h\"")
        list(APPEND failures "${source}: includes a header of app/: ${line}")
      endif()
      if(line MATCHES "app/")
        list(APPEND failures "${source}: reaches into app/: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

# The system's own headers: only the platform seam, and the program's mapping of the Windows
# process facilities (app/core/processguard.cpp: X windows, /proc, a local socket, shared memory).
foreach(folder common text http catalogue torrent engine payload app/core app/cli)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/common/platform/|/app/core/processguard\\.cpp$")
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
    foreach(line IN LISTS includes)
      if(line MATCHES "<(unistd|fcntl|dlfcn|dirent|poll|netdb|sys/[a-z]+|netinet/[a-z]+|arpa/[a-z]+|linux/[a-z]+)\\.h>")
        list(APPEND failures "${source}: calls the system past the platform seam: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "The layers are crossed:\n${text}")
endif()
message(STATUS "Layers: no source outside app/ includes Qt or app/, and only the platform seam the system")
