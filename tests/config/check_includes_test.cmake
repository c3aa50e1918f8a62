# The include-direction check of config/ against fixture trees:
#   cmake -DCHECK=<check_includes.cmake> -DWORK=<scratch folder> -P check_includes_test.cmake
# A tree whose includes keep to the layers passes; an include that runs upward,
# or into a layer not named, fails and names the file, the line and the rule.
set(rules "core:;pages:core;diag:core;update:core,pages;shell:core,pages,diag,update")

function(plant root file text)
  get_filename_component(folder "${root}/${file}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(WRITE "${root}/${file}" "${text}")
endfunction()

function(run_check root result_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${root} "-DRULES=${rules}" -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${out}${err}" PARENT_SCOPE)
endfunction()

function(fixture root)
  file(REMOVE_RECURSE "${root}")
  plant(${root} core/include/core/api.h "#pragma once\n#include \"ui/window_message.h\"\n")
  plant(${root} core/api.cpp "#include \"core/api.h\"\n#include <QString>\n")
  plant(${root} pages/include/pages/about.h "#pragma once\n#include \"core/api.h\"\n")
  plant(${root} diag/scan.cpp "#include \"diag/scan.h\"\n  #  include \"core/api.h\"\n")
  plant(${root} update/update.cpp "#include \"pages/about.h\"\n#include \"update/update.h\"\n")
  plant(${root} shell/main_window.cpp "#include \"diag/scan.h\"\n#include \"update/update.h\"\n#include \"pages/about.h\"\n")
  plant(${root} main.cpp "#include \"shell/main_window.h\"\n")
endfunction()

set(good "${WORK}/good")
fixture(${good})
run_check(${good} result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a tree that keeps to its layers was refused:\n${output}")
endif()

# Each planted include is refused on its own, with its file and the rule it breaks.
set(cases
  "core/api.cpp|#include \"shell/main_window.h\"|core/ may include only core"
  "core/include/core/api.h|#include \"pages/about.h\"|core/ may include only core"
  "diag/scan.cpp|#include \"update/update.h\"|diag/ may include only core, diag"
  "pages/include/pages/about.h|#include \"diag/scan.h\"|pages/ may include only core, pages"
  "update/update.cpp|  # include \"shell/main_window.h\"|update/ may include only core, pages, update")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 file)
  list(GET parts 1 line)
  list(GET parts 2 rule)
  set(bad "${WORK}/bad")
  fixture(${bad})
  file(APPEND "${bad}/${file}" "${line}\n")
  run_check(${bad} result output)
  if(result EQUAL 0)
    message(FATAL_ERROR "the upward include ${line} in ${file} passed the check")
  endif()
  string(FIND "${output}" "${file}" named_file)
  string(FIND "${output}" "${rule}" named_rule)
  if(named_file LESS 0 OR named_rule LESS 0)
    message(FATAL_ERROR "the refusal of ${line} in ${file} does not say where and why:\n${output}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "include check: a good tree passes, five planted upward includes fail")
