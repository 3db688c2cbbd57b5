# CPack's External generator for Windows: the per-machine and the per-user
# MSI, built with wixl from the staged (and signed) programs by
# packaging/windows/msi/make_msi.py, then signed themselves.
include(${CPACK_ORVIX_SOURCE_DIR}/cmake/windows_signing.cmake)

set(actions ${CPACK_TOPLEVEL_DIRECTORY}/orvix-msi-actions.dll)
configure_file(${CPACK_ORVIX_MSI_ACTIONS} ${actions} COPYONLY)
orvix_sign("the MSI actions DLL" ${actions})

set(packages "")
foreach(scope machine user)
  set(msi ${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}-${scope}.msi)
  execute_process(
    COMMAND ${CPACK_ORVIX_PYTHON} ${CPACK_ORVIX_SOURCE_DIR}/packaging/windows/msi/make_msi.py
            --scope ${scope} --version ${CPACK_PACKAGE_VERSION} --programs ${CPACK_TEMPORARY_DIRECTORY}
            --actions ${actions} --browser-table ${CPACK_ORVIX_SOURCE_DIR}/tools/native_host_register/browsers.cpp
            --extension-ids "${CPACK_ORVIX_EXTENSION_IDS}" --about-url "${CPACK_ORVIX_ABOUT_URL}"
            --help-url "${CPACK_ORVIX_HELP_URL}" --output ${msi}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Building ${msi} failed:\n${output}")
  endif()
  list(APPEND packages ${msi})
endforeach()
orvix_sign("the MSI packages" ${packages})
if(CPACK_ORVIX_EXTENSION_IDS STREQUAL "")
  message(NOTICE "The MSIs have no default extension id: install them with EXTENSION_IDS=<id>[,<id>...].")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${packages})
