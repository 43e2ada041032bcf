# Run by CPack in the staging folder before the package is made: man pages
# and the changelog gzipped at the highest level, without a time stamp, so
# the package is the same from one build to the next.
file(GLOB_RECURSE staged LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/quillmoor/changelog")
if(NOT staged)
  message(FATAL_ERROR "nothing to compress under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(path IN LISTS staged)
  if(NOT path MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9n "${path}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "gzip ${path}: ${result}")
    endif()
  endif()
endforeach()
