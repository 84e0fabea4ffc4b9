# Writes OUTPUT, the template TEMPLATE with the translations of each catalogue of CATALOGUES
# ("|"-separated po files, named after their language) merged in by msgfmt: MODE "desktop" for
# a desktop entry, "xml" for the polkit action file (whose rules po/its/ holds, found through
# GETTEXTDATADIRS=ITS).
string(REPLACE "|" ";" catalogues "${CATALOGUES}")
set(current "${TEMPLATE}")
set(steps)
foreach(po ${catalogues})
  get_filename_component(language "${po}" NAME_WE)
  set(next "${OUTPUT}.${language}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "GETTEXTDATADIRS=${ITS}"
            ${MSGFMT} --${MODE} -l ${language} --template=${current} -o ${next} ${po}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "msgfmt could not merge ${po} into ${TEMPLATE}")
  endif()
  set(current "${next}")
  list(APPEND steps "${next}")
endforeach()
file(COPY_FILE "${current}" "${OUTPUT}")
if(steps)
  file(REMOVE ${steps})
endif()
