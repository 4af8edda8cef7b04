# Turns the checksum file that vexapack writes ("0x%08X") into a header.
# -DCHECKSUM_FILE=... -DHEADER=...
file(STRINGS ${CHECKSUM_FILE} checksum LIMIT_COUNT 1)
string(STRIP "${checksum}" checksum)
if(NOT checksum MATCHES "^0x[0-9A-Fa-f]+$")
  message(FATAL_ERROR "${CHECKSUM_FILE}: not a checksum: '${checksum}'")
endif()
set(text "#pragma once\n#define PACKAGE_CHECKSUM ${checksum}u\n")
if(EXISTS ${HEADER})
  file(READ ${HEADER} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${HEADER} "${text}")
endif()
