# Fails when a C++ file of the tree is not as .clang-format would write it.
#   cmake -DCLANG_FORMAT=clang-format -DVIMBEL_SOURCE_DIR=. -P tools/check_format.cmake
if(NOT VIMBEL_SOURCE_DIR)
  get_filename_component(VIMBEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
if(NOT CLANG_FORMAT)
  set(CLANG_FORMAT clang-format)
endif()
set(globs)
foreach(top IN ITEMS app bench dist engine platform resources settings tests tools ui)
  list(APPEND globs "${VIMBEL_SOURCE_DIR}/${top}/*.h" "${VIMBEL_SOURCE_DIR}/${top}/*.cpp")
endforeach()
file(GLOB_RECURSE files ${globs})
list(SORT files)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
                WORKING_DIRECTORY "${VIMBEL_SOURCE_DIR}"
                RESULT_VARIABLE status ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${report}\nFormat these files with clang-format -i.")
endif()
