# Installs the build into a scratch prefix and checks that the window, its
# desktop entry and its icons land where desktops look for them.
# cmake -DBUILD_DIR=... -DPREFIX=... -P CheckWindowInstall.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component window
                        --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed: ${result}")
endif()

foreach(installed
    bin/quillmoor
    share/applications/quillmoor.desktop
    share/icons/hicolor/32x32/apps/quillmoor.png
    share/icons/hicolor/128x128/apps/quillmoor.png)
  if(NOT EXISTS "${PREFIX}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

file(STRINGS "${PREFIX}/share/applications/quillmoor.desktop" entry)
list(GET entry 0 header)
if(NOT header STREQUAL "[Desktop Entry]")
  message(FATAL_ERROR "desktop entry starts with '${header}'")
endif()
foreach(line "Type=Application" "Name=Quillmoor" "Exec=quillmoor" "Icon=quillmoor" "Terminal=false")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()

# The PNG header holds the size: width and height at bytes 16 to 23.
file(READ "${PREFIX}/share/icons/hicolor/32x32/apps/quillmoor.png" png LIMIT 24 HEX)
string(SUBSTRING "${png}" 32 16 size)
if(NOT size STREQUAL "0000002000000020")
  message(FATAL_ERROR "32x32 icon has size bytes ${size}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
