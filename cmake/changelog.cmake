# changelog.cmake -- reads CHANGELOG.md, the one list of releases, and writes it
# out as the metainfo's <releases> and as a Debian changelog.
#
# CHANGELOG.md: "## <version> (<YYYY-MM-DD> <HH:MM>)" (UTC) opens a release, each "- " line
# under it is one change (one line).  Anything else is prose and is skipped.
#
# Included, it defines clovenfeld_changelog_releases(<file> <out var>), the
# <releases> element.  Run as a script it writes the Debian changelog, gzipped
# the reproducible way:
#   cmake -DCHANGELOG=CHANGELOG.md -DPACKAGE=clovenfeld -DMAINTAINER="Name <mail>"
#         -DOUT=changelog.gz -P cmake/changelog.cmake

# Reads file into <prefix>_VERSIONS, and for each version V <prefix>_<V>_DATE,
# <prefix>_<V>_TIME and <prefix>_<V>_ITEMS (a list), in the caller's scope; a
# ';' in an item is kept as the character in CLOVENFELD_SEMICOLON (lists split
# on ';'), which _clovenfeld_text turns back.  Stops with a message naming
# the line on a malformed heading or an item outside a release.
string(ASCII 31 CLOVENFELD_SEMICOLON)
function(clovenfeld_read_changelog file prefix)
  file(READ ${file} text)
  string(REPLACE ";" "${CLOVENFELD_SEMICOLON}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(versions "")
  set(version "")
  set(n 0)
  foreach(line IN LISTS lines)
    math(EXPR n "${n} + 1")
    if(line MATCHES "^## ")
      if(NOT line MATCHES "^## ([0-9]+(\\.[0-9]+)+) \\(([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]) ([0-2][0-9]:[0-5][0-9])\\)$")
        message(FATAL_ERROR "${file}:${n}: a release heading is \"## <version> (<YYYY-MM-DD> <HH:MM>)\"")
      endif()
      set(version ${CMAKE_MATCH_1})
      list(APPEND versions ${version})
      set(${prefix}_${version}_DATE ${CMAKE_MATCH_3} PARENT_SCOPE)
      set(${prefix}_${version}_TIME ${CMAKE_MATCH_4} PARENT_SCOPE)
      set(items_${version} "")
    elseif(line MATCHES "^- (.+)$")
      if(version STREQUAL "")
        message(FATAL_ERROR "${file}:${n}: a change before the first release heading")
      endif()
      list(APPEND items_${version} "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  if(versions STREQUAL "")
    message(FATAL_ERROR "${file}: no release")
  endif()
  foreach(v IN LISTS versions)
    if(items_${v} STREQUAL "")
      message(FATAL_ERROR "${file}: release ${v} lists no change")
    endif()
    set(${prefix}_${v}_ITEMS "${items_${v}}" PARENT_SCOPE)
  endforeach()
  set(${prefix}_VERSIONS "${versions}" PARENT_SCOPE)
endfunction()

function(_clovenfeld_text text out)
  string(REPLACE "${CLOVENFELD_SEMICOLON}" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_clovenfeld_xml_escape text out)
  _clovenfeld_text("${text}" text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The metainfo's <releases> element, indented for the component.
function(clovenfeld_changelog_releases file out)
  clovenfeld_read_changelog(${file} cl)
  set(xml "<releases>\n")
  foreach(v IN LISTS cl_VERSIONS)
    string(APPEND xml "    <release version=\"${v}\" date=\"${cl_${v}_DATE}\">\n"
                      "      <description>\n        <ul>\n")
    foreach(item IN LISTS cl_${v}_ITEMS)
      _clovenfeld_xml_escape("${item}" item)
      string(APPEND xml "          <li>${item}</li>\n")
    endforeach()
    string(APPEND xml "        </ul>\n      </description>\n    </release>\n")
  endforeach()
  string(APPEND xml "  </releases>")
  set(${out} "${xml}" PARENT_SCOPE)
endfunction()

# YYYY-MM-DD and HH:MM (UTC) as Debian's changelog date (RFC 5322):
# "Mon, 07 Dec 2026 19:30:00 +0000".
function(_clovenfeld_rfc_date date time out)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${date}")
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "${CMAKE_MATCH_2}") # no leading zero: math reads 08 as 8 either way
  set(dd ${CMAKE_MATCH_3})
  math(EXPR d "${dd}")
  # Day of the week (0 = Sunday), Sakamoto's method.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR i "${m} - 1")
  list(GET offsets ${i} t)
  set(yy ${y})
  if(m LESS 3)
    math(EXPR yy "${y} - 1")
  endif()
  math(EXPR wd "(${yy} + ${yy} / 4 - ${yy} / 100 + ${yy} / 400 + ${t} + ${d}) % 7")
  set(days Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET days ${wd} day)
  list(GET months ${i} month)
  set(${out} "${day}, ${dd} ${month} ${y} ${time}:00 +0000" PARENT_SCOPE)
endfunction()

# The Debian changelog: each release as "package (version) unstable;
# urgency=medium", its changes as "  * " points wrapped at 80 columns, and the
# maintainer's sign-off with the release date.
function(clovenfeld_debian_changelog file package maintainer out)
  clovenfeld_read_changelog(${file} cl)
  set(text "")
  foreach(v IN LISTS cl_VERSIONS)
    string(APPEND text "${package} (${v}) unstable; urgency=medium\n\n")
    foreach(item IN LISTS cl_${v}_ITEMS)
      string(REPLACE " " ";" words "${item}")
      set(line "  *")
      foreach(word IN LISTS words)
        string(LENGTH "${line} ${word}" len)
        if(len GREATER 80 AND NOT line MATCHES "^ *\\*?$")
          string(APPEND text "${line}\n")
          set(line "   ")
        endif()
        string(APPEND line " ${word}")
      endforeach()
      string(APPEND text "${line}\n")
    endforeach()
    _clovenfeld_rfc_date(${cl_${v}_DATE} ${cl_${v}_TIME} when)
    string(APPEND text "\n -- ${maintainer}  ${when}\n\n")
  endforeach()
  string(REGEX REPLACE "\n\n$" "\n" text "${text}")
  _clovenfeld_text("${text}" text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(var CHANGELOG PACKAGE MAINTAINER OUT)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "changelog.cmake: -D${var}=... is missing")
    endif()
  endforeach()
  clovenfeld_debian_changelog(${CHANGELOG} ${PACKAGE} "${MAINTAINER}" text)
  string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
  file(WRITE ${plain} "${text}")
  # -n: no file name or time in the header, so the bytes depend on the text only.
  execute_process(COMMAND gzip -n -9 -c ${plain} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${plain}")
  endif()
endif()
