# Runs a GUI test program with no display: -D PROGRAM=<file> -D FILTER=<gtest filter>
# -D REQUIRED=ON|OFF. Without CVW_GUI_REQUIRED every test must end (skipped or passed) and name
# the missing display; with it the program must fail for that reason, and not crash.
set(ENV{DISPLAY} "")
unset(ENV{DISPLAY})
if(REQUIRED)
  set(ENV{CVW_GUI_REQUIRED} 1)
else()
  unset(ENV{CVW_GUI_REQUIRED})
endif()
execute_process(COMMAND ${PROGRAM} --gtest_filter=${FILTER}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(REQUIRED)
  if(NOT result EQUAL 1 OR NOT output MATCHES "a display is required \\(CVW_GUI_REQUIRED is set\\)")
    message(FATAL_ERROR "expected the tests to fail for the missing display; result ${result}:\n${output}")
  endif()
elseif(NOT result EQUAL 0 OR NOT output MATCHES "SKIPPED" OR NOT output MATCHES "no display: DISPLAY is not set")
  message(FATAL_ERROR "expected every test to skip or pass without a display; result ${result}:\n${output}")
endif()
