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
      if(line MATCHES "\"(mainwindow|controls|widgettext|wiring|downloadhandlers|searchhandlers|settings|fatalerror|language|programstate|librarycall|carriedfiles|processguard|programfolder|registryfile|settingsstore|enginecalls|skin)\\.h\"")
        list(APPEND failures "${source}: includes a header of app/: ${line}")
      endif()
      if(line MATCHES "app/")
        list(APPEND failures "${source}: reaches into app/: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

# The system's own headers, calls and error values: only the platform seam, the text library's
# converters (text/systemcharset_*.cpp: iconv and ICU, or the Windows API), and the program's
# mapping of the Windows process facilities (app/core/processguard_*.cpp: X windows, /proc, a
# local socket, shared memory here; Windows' own there) and the settings in Windows' registry
# (app/core/settingsstore_windows.cpp).
foreach(folder common text http catalogue torrent engine payload app/core app/cli)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/common/platform/|/text/systemcharset_[a-z]+\\.cpp$|/app/core/processguard_[a-z]+\\.cpp$|/app/core/settingsstore_windows\\.cpp$")
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<")
    foreach(line IN LISTS includes)
      if(line MATCHES "<(unistd|fcntl|dlfcn|dirent|poll|netdb|iconv|windows|winsock2|io|signal|sys/[a-z]+|netinet/[a-z]+|arpa/[a-z]+|linux/[a-z]+|unicode/[a-z0-9]+)\\.h>"
         OR line MATCHES "<(csignal|cerrno)>")
        list(APPEND failures "${source}: calls the system past the platform seam: ${line}")
      endif()
    endforeach()
    # POSIX calls and values that need no header of their own to be reached.
    file(STRINGS ${source} calls REGEX "(errno|sigaction|std::signal|[^_a-z]setenv|[^a-z]fork[ (]|pipe2|EDQUOT|ENOSPC|EEXIST|/proc/)")
    foreach(line IN LISTS calls)
      if(NOT line MATCHES "^[ \t]*//")
        list(APPEND failures "${source}: a POSIX call or value past the platform seam: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "The layers are crossed:\n${text}")
endif()
message(STATUS "Layers: no source outside app/ includes Qt or app/, and only the platform seam the system")
