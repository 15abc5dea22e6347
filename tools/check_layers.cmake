# The layer rule, checked over every source and header:
#
#   app -> ui -> engine -> settings -> resources -> platform (core) <- backends
#
# A folder includes headers of its own layer and of the layers below it. A
# backend (platform/qt, platform/headless, platform/console, platform/win32)
# includes the platform core and itself, and is included only by app/, the
# tests and the benchmarks. A system twin (platform/posix, platform/windows)
# includes the platform core and itself, and is included only by itself and
# the tests, and by the Win32 backend for the Windows twin's helpers (wide
# text, the Windows headers). Qt headers stay in platform/qt/, the tests of
# the Qt backend and the benchmarks (the window's benchmark watches for its
# boxes); libcurl's stay in the POSIX Internet session; the Windows API's
# stay in platform/windows/, platform/win32/ and the tests. Relative
# includes that climb out of a folder ("../") are refused, since they would
# slip past all of this.
#
#   cmake -DVIMBEL_SOURCE_DIR=<source folder> -P tools/check_layers.cmake
#
# Lists every offending include and fails when there is one.
cmake_minimum_required(VERSION 3.25)

if(NOT VIMBEL_SOURCE_DIR)
  get_filename_component(VIMBEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

set(backends qt headless console win32)
set(twins posix windows)
set(layers platform resources settings engine ui app)

# The area a path inside the source folder belongs to: a layer, a backend
# ("platform/qt"), a system twin ("platform/posix"), "tests" or "bench";
# empty for anything else.
function(area_of path out)
  string(REGEX MATCH "^[^/]+" top "${path}")
  set(area "")
  if(top STREQUAL "platform")
    set(area platform)
    string(REGEX MATCH "^platform/([^/]+)/" sub "${path}")
    if(sub AND (CMAKE_MATCH_1 IN_LIST backends OR CMAKE_MATCH_1 IN_LIST twins))
      set(area "platform/${CMAKE_MATCH_1}")
    endif()
  elseif(top IN_LIST layers OR top STREQUAL "tests" OR top STREQUAL "bench")
    set(area ${top})
  endif()
  set(${out} "${area}" PARENT_SCOPE)
endfunction()

# Whether code in area `from` may include a header of area `to`.
function(may_include from to out)
  set(ok FALSE)
  if(from STREQUAL "tests" OR from STREQUAL "bench")
    # Tests and benchmarks use everything; only they share the test support.
    set(ok TRUE)
  elseif(to STREQUAL "tests" OR to STREQUAL "bench")
    set(ok FALSE)
  elseif(to STREQUAL "platform/posix" OR to STREQUAL "platform/windows")
    # A system twin: its own folder; the Win32 backend also uses the
    # Windows twin's helpers.
    if(from STREQUAL to OR (from STREQUAL "platform/win32" AND to STREQUAL "platform/windows"))
      set(ok TRUE)
    endif()
  elseif(to MATCHES "^platform/")
    # A backend: its own folder, and the entry points that choose it.
    if(from STREQUAL to OR from STREQUAL "app")
      set(ok TRUE)
    endif()
  elseif(from MATCHES "^platform/")
    if(to STREQUAL "platform")
      set(ok TRUE)
    endif()
  else()
    list(FIND layers "${from}" fromRank)
    list(FIND layers "${to}" toRank)
    if(fromRank GREATER_EQUAL 0 AND toRank GREATER_EQUAL 0 AND toRank LESS_EQUAL fromRank)
      set(ok TRUE)
    endif()
  endif()
  set(${out} ${ok} PARENT_SCOPE)
endfunction()

set(globs)
foreach(top IN LISTS layers ITEMS tests bench)
  list(APPEND globs "${VIMBEL_SOURCE_DIR}/${top}/*.h" "${VIMBEL_SOURCE_DIR}/${top}/*.cpp")
endforeach()
file(GLOB_RECURSE files RELATIVE "${VIMBEL_SOURCE_DIR}" ${globs})
list(SORT files)

set(faults 0)
set(checked 0)
foreach(file IN LISTS files)
  area_of("${file}" from)
  get_filename_component(folder "${file}" DIRECTORY)
  file(STRINGS "${VIMBEL_SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    set(why "")
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "(^|/)\\.\\./")
        set(why "climbs out of its folder")
      else()
        if(NOT header MATCHES "/")
          # A header beside the file.
          set(header "${folder}/${header}")
        endif()
        area_of("${header}" to)
        if(NOT to)
          set(why "names no folder of the program")
        else()
          may_include("${from}" "${to}" ok)
          if(NOT ok)
            set(why "${from}/ may not use ${to}/")
          endif()
        endif()
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]+/[^>]*)>")
      if(NOT (file MATCHES "^platform/qt/" OR file MATCHES "^tests/qt/" OR file MATCHES "^bench/"))
        set(why "Qt outside the Qt backend")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<(windows|winsock2|ws2tcpip|wininet|shlobj|shellapi|commctrl|winver)\\.h>")
      if(NOT (file MATCHES "^platform/win(dows|32)/" OR file MATCHES "^tests/"))
        set(why "the Windows API outside platform/windows and platform/win32")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<curl/")
      if(NOT file STREQUAL "platform/posix/internet_session.cpp")
        set(why "libcurl outside the POSIX Internet session")
      endif()
    endif()
    if(why)
      string(STRIP "${line}" shown)
      message("${file}: ${shown}: ${why}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
  math(EXPR checked "${checked} + 1")
endforeach()

if(checked EQUAL 0)
  message(FATAL_ERROR "no sources found under ${VIMBEL_SOURCE_DIR}")
endif()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the layer rule")
endif()
message(STATUS "layer rule holds in ${checked} files")
