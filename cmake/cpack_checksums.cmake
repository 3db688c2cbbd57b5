# CPack, after each Windows package: its SHA-256 goes into SHA256SUMS in the
# package folder (the format of sha256sum, so `sha256sum -c SHA256SUMS`
# checks them), replacing an older line for the same name and dropping lines
# whose file is gone.
set(sums ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS)
set(lines "")
if(EXISTS ${sums})
  file(STRINGS ${sums} lines)
endif()
set(kept "")
set(new_names "")
foreach(package ${CPACK_PACKAGE_FILES})
  if(package MATCHES "\\.(zip|msi)$")
    get_filename_component(name ${package} NAME)
    file(SHA256 ${package} hash)
    list(APPEND kept "${hash}  ${name}")
    list(APPEND new_names ${name})
  endif()
endforeach()
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-f]+  " "" name "${line}")
  if(NOT name IN_LIST new_names AND EXISTS ${CPACK_PACKAGE_DIRECTORY}/${name})
    list(APPEND kept "${line}")
  endif()
endforeach()
list(JOIN kept "\n" text)
file(WRITE ${sums} "${text}\n")

# The External generator also leaves a JSON description of its input beside
# the MSIs; it is no package. CPack copies it there after this script, so the
# next generator's run (ZIP comes after External) removes it.
file(REMOVE ${CPACK_PACKAGE_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}.json)
