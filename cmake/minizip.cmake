# minizip.cmake -- the zip reader's library for the builds that cannot link
# Debian's libminizip: minizip built from Debian's own source package (the
# same sources as the Linux library), and for the browser zlib from Debian's
# zlib source package too.  scripts/deb_source.sh unpacks each package once
# into <build>/deb-src/<name>; it needs a deb-src line (scripts/deps.sh adds
# one).  Only the reading half is built (unzip.c, ioapi.c).  Call
# enable_language(C) first.

# The folder Debian's source package name is unpacked in, into out.
function(clovenfeld_deb_source name out)
  set(dir ${CMAKE_BINARY_DIR}/deb-src/${name})
  if(NOT EXISTS ${dir}/debian/control)
    message(STATUS "Unpacking Debian's source package ${name} into ${dir}")
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/deb_source.sh ${name} ${dir} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "Could not unpack Debian's source package ${name} (scripts/deb_source.sh)")
    endif()
  endif()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# clovenfeld_zlib_from_source(): the static library clovenfeld_zlib, the
# inflating half of zlib (what minizip's reader calls).
function(clovenfeld_zlib_from_source)
  clovenfeld_deb_source(zlib dir)
  set(files adler32.c crc32.c inffast.c inflate.c inftrees.c zutil.c)
  list(TRANSFORM files PREPEND ${dir}/)
  add_library(clovenfeld_zlib STATIC ${files})
  target_include_directories(clovenfeld_zlib SYSTEM PUBLIC ${dir})
  target_compile_options(clovenfeld_zlib PRIVATE -w) # not our code: its warnings are not ours to fix
endfunction()

# clovenfeld_minizip_from_source(ZLIB): the static library clovenfeld_minizip
# (its headers included as <unzip.h>), linking ZLIB (a target or a library file).
function(clovenfeld_minizip_from_source zlib)
  clovenfeld_deb_source(minizip dir)
  add_library(clovenfeld_minizip STATIC ${dir}/unzip.c ${dir}/ioapi.c)
  target_include_directories(clovenfeld_minizip SYSTEM PUBLIC ${dir})
  # The file functions are ours (memory): stdio's plain names do for ioapi.c's own.
  target_compile_definitions(clovenfeld_minizip PRIVATE USE_FILE32API)
  target_compile_options(clovenfeld_minizip PRIVATE -w)
  target_link_libraries(clovenfeld_minizip PUBLIC ${zlib})
endfunction()
