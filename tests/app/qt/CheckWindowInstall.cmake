# Installs the build into a scratch prefix and checks that the window, its
# desktop entry, MIME definition, metainfo, manual and icons land where
# desktops look for them, each icon at its size.
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
    share/mime/packages/quillmoor.xml
    share/metainfo/org.quillmoor.quillmoor.metainfo.xml
    share/man/man1/quillmoor.1
    share/doc/quillmoor/copyright
    share/doc/quillmoor/changelog
    share/icons/hicolor/scalable/apps/quillmoor.svg)
  if(NOT EXISTS "${PREFIX}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()

file(STRINGS "${PREFIX}/share/applications/quillmoor.desktop" entry)
list(GET entry 0 header)
if(NOT header STREQUAL "[Desktop Entry]")
  message(FATAL_ERROR "desktop entry starts with '${header}'")
endif()
foreach(line "Type=Application" "Name=Quillmoor" "Exec=quillmoor %f" "Icon=quillmoor" "Terminal=false"
             "MimeType=application/x-quillmoor-encrypted;")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()

# The PNG header holds the size: width and height at bytes 16 to 23.
foreach(side 16 32 48 64 128 256)
  set(icon "${PREFIX}/share/icons/hicolor/${side}x${side}/apps/quillmoor.png")
  if(NOT EXISTS "${icon}")
    message(FATAL_ERROR "no ${side}x${side} icon")
  endif()
  file(READ "${icon}" png LIMIT 24 HEX)
  string(SUBSTRING "${png}" 32 16 size)
  math(EXPR hex "${side}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" hex "${hex}")
  string(LENGTH "${hex}" digits)
  math(EXPR pad "8 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  if(NOT size STREQUAL "${zeros}${hex}${zeros}${hex}")
    message(FATAL_ERROR "${side}x${side} icon has size bytes ${size}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
