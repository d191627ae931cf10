# cpack_project.cmake -- read by cpack each time it packs (CPACK_PROJECT_CONFIG_FILE).
# The package's file times are SOURCE_DATE_EPOCH, which CPack's DEB generator
# honours; unless it is set already, it is the last commit's time, so two
# packs of the same commit are the same bytes.  Without git history the times
# are the files' own.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_CLOVENFELD_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE _epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _status ERROR_QUIET)
  if(_status EQUAL 0 AND _epoch MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${_epoch})
  endif()
endif()
