# Reads the finished installer as the installer itself will: fails the
# build when its first marker is not the package's or the checksum differs.
# -DVEXAPACK=... -DINSTALLER=... -DCHECKSUM_FILE=...
file(STRINGS ${CHECKSUM_FILE} checksum LIMIT_COUNT 1)
string(STRIP "${checksum}" checksum)
execute_process(COMMAND ${VEXAPACK} verify ${INSTALLER} --checksum ${checksum} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${INSTALLER} does not carry its package intact (vexapack verify: ${result})")
endif()
