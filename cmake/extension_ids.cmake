# The product's extension ids, given once for the whole build: the default
# EXTENSION_IDS of the MSIs, and the ids orvix-native-host-register admits on
# install and checks in doctor when given no --extension-id (the .deb's
# postinst then registers them system-wide). Empty: only the user knows the
# ids, and every package and the tool take them from their command line.
set(ORVIX_EXTENSION_IDS "" CACHE STRING "The product's extension ids (comma- or space-separated)")

# An id is 32 letters from a to p; a wrong one would only show when a
# browser refuses the extension, so it fails the configure instead.
string(REGEX REPLACE "[, ]+" ";" orvix_extension_id_list "${ORVIX_EXTENSION_IDS}")
list(FILTER orvix_extension_id_list EXCLUDE REGEX "^$")
foreach(id IN LISTS orvix_extension_id_list)
  if(NOT id MATCHES "^[a-p]+$" OR NOT id MATCHES "^................................$")
    message(FATAL_ERROR "ORVIX_EXTENSION_IDS holds \"${id}\", which is not an extension id "
                        "(32 letters from a to p); separate ids with commas or spaces.")
  endif()
endforeach()
list(REMOVE_DUPLICATES orvix_extension_id_list)
# The ids as the tool and the MSIs take them: "id,id".
list(JOIN orvix_extension_id_list "," ORVIX_EXTENSION_ID_LIST)

# Builds `target` (orvix-native-host-register's main.cpp) with `ids` ("id,id") built in.
function(orvix_built_in_extension_ids target ids)
  target_compile_definitions(${target} PRIVATE "ORVIX_BUILT_IN_EXTENSION_IDS=\"${ids}\"")
endfunction()
