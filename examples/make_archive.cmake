# Builds one sample software archive: the files of SOURCE staged in STAGE,
# a manifest of the payload's MD5 sums added (the installed software's
# self-test checks it), packed as the gzip'd tar OUTPUT.
file(REMOVE_RECURSE ${STAGE})
file(COPY ${SOURCE}/ DESTINATION ${STAGE})
file(GLOB_RECURSE payload RELATIVE ${STAGE}/payload ${STAGE}/payload/*)
list(REMOVE_ITEM payload manifest.md5)
list(SORT payload)
set(manifest "")
foreach(name IN LISTS payload)
  file(MD5 ${STAGE}/payload/${name} sum)
  string(APPEND manifest "${sum}  ${name}\n")
endforeach()
file(WRITE ${STAGE}/payload/manifest.md5 "${manifest}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar czf ${OUTPUT} package_version models payload
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not pack ${OUTPUT}")
endif()
