# The translated copy of a picture: -D SCRIPT=po/translate-svg -D MSGFMT=<msgfmt>
# -D FIXTURES=<folder with picture.svg, de.po, expected.svg> -D WORK=<scratch folder>.
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${MSGFMT} -o ${WORK}/de.mo ${FIXTURES}/de.po COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${SCRIPT} ${WORK}/de.mo ${FIXTURES}/picture.svg ${WORK}/picture.svg
  COMMAND_ERROR_IS_FATAL ANY)
file(READ ${FIXTURES}/expected.svg expected)
file(READ ${WORK}/picture.svg made)
if(NOT made STREQUAL expected)
  message(FATAL_ERROR "the translated picture differs from ${FIXTURES}/expected.svg:\n${made}")
endif()
