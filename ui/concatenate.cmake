# cmake -D OUTPUT=<file> -D PARTS=<file|file|...> -P concatenate.cmake
# Writes the parts one after the other into OUTPUT.
string(REPLACE "|" ";" PARTS "${PARTS}")
file(WRITE ${OUTPUT}.tmp "")
foreach(part ${PARTS})
  file(READ ${part} text)
  file(APPEND ${OUTPUT}.tmp "${text}")
endforeach()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
