# cmake -DLINKS=dir -P make_links.cmake
file(REMOVE_RECURSE ${LINKS})
file(MAKE_DIRECTORY ${LINKS}/fulltemp ${LINKS}/nobackup)
file(CREATE_LINK /dev/full ${LINKS}/fulltemp/vexa.tmp SYMBOLIC)
file(CREATE_LINK ${LINKS}/nowhere ${LINKS}/nobackup/backup SYMBOLIC)
