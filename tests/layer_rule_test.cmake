# The layer check on small made-up trees, one include per row: it must refuse
# each wrong include with its reason and let each right one pass, so that it
# cannot go quiet while the real tree looks clean.
#
#   cmake -DCHECK=<tools/check_layers.cmake> -DWORK=<scratch folder> -P layer_rule_test.cmake

# file | include line | the reason expected, or "ok"
set(rows
  "engine/a.cpp|#include \"ui/harvest_dlg.h\"|engine/ may not use ui/"
  "settings/a.cpp|#include \"engine/harvest_engine.h\"|settings/ may not use engine/"
  "resources/a.h|#include \"settings/profile_keys.h\"|resources/ may not use settings/"
  "platform/a.cpp|#include \"resources/texts.h\"|platform/ may not use resources/"
  "ui/a.cpp|#include \"app/main.h\"|ui/ may not use app/"
  "ui/a.cpp|#include \"platform/qt/qt_backend.h\"|ui/ may not use platform/qt/"
  "engine/a.cpp|#include \"platform/headless/headless_backend.h\"|engine/ may not use platform/headless/"
  "platform/qt/a.cpp|#include \"platform/console/console_backend.h\"|platform/qt/ may not use platform/console/"
  "platform/win32/a.cpp|#include \"ui/harvest_dlg.h\"|platform/win32/ may not use ui/"
  "ui/a.cpp|#include \"tests/support/http_server.h\"|ui/ may not use tests/"
  "engine/a.cpp|#include \"../ui/harvest_dlg.h\"|climbs out of its folder"
  "engine/a.cpp|#include \"vendor/x.h\"|names no folder of the program"
  "ui/a.cpp|#include <QString>|Qt outside the Qt backend"
  "platform/a.cpp|#include <QtWidgets/QWidget>|Qt outside the Qt backend"
  "platform/posix/file_system.cpp|#include <curl/curl.h>|libcurl outside the POSIX Internet session"
  "platform/internet_session.cpp|#include <curl/curl.h>|libcurl outside the POSIX Internet session"
  "platform/windows/internet_session.cpp|#include <curl/curl.h>|libcurl outside the POSIX Internet session"
  "platform/file_system.cpp|#include <windows.h>|the Windows API outside platform/windows and platform/win32"
  "platform/posix/file_io.cpp|#include <windows.h>|the Windows API outside platform/windows and platform/win32"
  "ui/a.cpp|#include <shlobj.h>|the Windows API outside platform/windows and platform/win32"
  "engine/a.cpp|#include \"platform/posix/file_system.h\"|engine/ may not use platform/posix/"
  "platform/a.cpp|#include \"platform/windows/wide_text.h\"|platform/ may not use platform/windows/"
  "platform/posix/a.cpp|#include \"platform/windows/wide_text.h\"|platform/posix/ may not use platform/windows/"
  "platform/windows/a.cpp|#include \"platform/posix/a.h\"|platform/windows/ may not use platform/posix/"
  "platform/qt/a.cpp|#include \"platform/posix/a.h\"|platform/qt/ may not use platform/posix/"
  "app/a.cpp|#include \"platform/windows/wide_text.h\"|app/ may not use platform/windows/"
  "platform/windows/a.cpp|#include \"ui/harvest_dlg.h\"|platform/windows/ may not use ui/"
  "app/a.cpp|#  include \"platform/qt/qt_backend.h\"|ok"
  "ui/a.cpp|#include \"engine/harvest_engine.h\"|ok"
  "engine/a.cpp|#include \"settings/harvest_settings.h\"|ok"
  "engine/a.cpp|#include \"a.h\"|ok"
  "platform/qt/a.cpp|#include <QWidget>|ok"
  "platform/posix/internet_session.cpp|#include <curl/curl.h>|ok"
  "platform/win32/a.cpp|#include <commctrl.h>|ok"
  "platform/windows/a.cpp|#include <wininet.h>|ok"
  "platform/windows/a.cpp|#include \"platform/file_system.h\"|ok"
  "platform/windows/a.cpp|#include \"a.h\"|ok"
  "platform/win32/a.cpp|#include \"platform/windows/wide_text.h\"|ok"
  "tests/a.cpp|#include \"platform/windows/windows_api.h\"|ok"
  "tests/a.cpp|#include \"platform/headless/headless_backend.h\"|ok"
  "bench/a.cpp|#include \"tests/support/http_server.h\"|ok"
  "ui/a.cpp|#include <queue>|ok"
)

set(failures 0)
set(n 0)
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" parts "${row}")
  list(GET parts 0 file)
  list(GET parts 1 include)
  list(GET parts 2 expected)
  math(EXPR n "${n} + 1")
  set(tree "${WORK}/row${n}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/${file}" "${include}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DVIMBEL_SOURCE_DIR=${tree} -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(expected STREQUAL "ok")
    if(NOT status EQUAL 0)
      message("refused but right: ${file}: ${include}\n${out}")
      math(EXPR failures "${failures} + 1")
    endif()
  else()
    string(FIND "${out}" "${file}: ${include}: ${expected}" at)
    if(status EQUAL 0 OR at LESS 0)
      message("not refused as \"${expected}\": ${file}: ${include}\n${out}")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${n} rows went wrong")
endif()
