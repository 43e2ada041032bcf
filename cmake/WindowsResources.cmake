# The resource scripts of the Windows programs (quillmoor.exe, quillmoor-cli.exe).
# Each one defines its own names and includes app/win32/resources/VersionInfo.rc2,
# so the version block exists once and its numbers are project()'s.
enable_language(RC)

# An object library `name` from the resource script `rc`; the files the script
# names (icon, manifest...) are given after it, so a change to them rebuilds it.
function(quillmoor_add_resources name rc)
  set(version_commas "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set_property(SOURCE ${rc} APPEND PROPERTY COMPILE_DEFINITIONS
    QUILLMOOR_VERSION_COMMAS=${version_commas}
    "QUILLMOOR_VERSION_TEXT=\\\"${PROJECT_VERSION}\\\"")
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
    ${PROJECT_SOURCE_DIR}/app/win32/resources/VersionInfo.rc2 ${ARGN})
  add_library(${name} OBJECT ${rc})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
