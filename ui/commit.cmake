# Writes OUTPUT, a header naming the commit that the sources in SOURCE are checked out at (40
# hexadecimal digits; zeros outside a git checkout), and rewrites it only when the commit
# changed, so that nothing is rebuilt for nothing.
execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${SOURCE}
  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
if(failed OR NOT commit MATCHES "^[0-9a-f]+$")
  string(REPEAT 0 40 commit)
endif()
set(text "// Made by the build: the commit of the sources.\n#pragma once\n\nconstexpr const char* build_commit = \"${commit}\";\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
