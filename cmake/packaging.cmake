# `make package`: a .deb of the Linux build; a zip and two MSIs (per machine,
# per user) of the Windows build, with a SHA256SUMS list beside them. All are
# made by CPack from the same install rules; the Windows programs and MSIs are
# signed when a certificate is given (cmake/windows_signing.cmake).
if(WIN32)
  set(ORVIX_BIN_DIR .)
  set(ORVIX_DOC_DIR .)
else()
  set(ORVIX_BIN_DIR bin)
  set(ORVIX_DOC_DIR share/doc/orvix-chrome-native-host)
endif()

install(TARGETS orvix-chrome-native-host orvix-native-host-register orvix-nm-client orvix-sample-runtime
        RUNTIME DESTINATION ${ORVIX_BIN_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${ORVIX_DOC_DIR})
if(WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt DESTINATION ${ORVIX_DOC_DIR})

  # The MSIs' custom actions (packaging/windows/msi/manifest_action.cpp): a
  # DLL the packages carry in their Binary table, never installed.
  add_library(orvix-msi-actions SHARED ${CMAKE_SOURCE_DIR}/packaging/windows/msi/manifest_action.cpp)
  set_target_properties(orvix-msi-actions PROPERTIES PREFIX "")
  target_include_directories(orvix-msi-actions PRIVATE ${CMAKE_SOURCE_DIR}/tools)
  target_link_libraries(orvix-msi-actions PRIVATE orvix_tool_native_host_register msi)
  # Like the programs: nothing but system DLLs beside it.
  target_link_options(orvix-msi-actions PRIVATE -static -s)

  # The links Programs and Features shows for the MSIs' product.
  set(ORVIX_ABOUT_URL "https://orvix.invalid/chrome-native-host" CACHE STRING "The product's page")
  set(ORVIX_HELP_URL "https://orvix.invalid/chrome-native-host/help" CACHE STRING "Where users get help")
endif()

set(CPACK_PACKAGE_NAME orvix-chrome-native-host)
set(CPACK_PACKAGE_VENDOR Orvix)
set(CPACK_PACKAGE_CONTACT "Orvix maintainers <maintainers@orvix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Native-messaging host for the Orvix browser extension")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  # External (the MSIs, cmake/cpack_msi.cmake) before ZIP: see cmake/cpack_checksums.cmake.
  set(CPACK_GENERATOR External ZIP)
  set(CPACK_PACKAGE_FILE_NAME orvix-chrome-native-host-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_REQUESTED_VERSIONS "1.0")
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/cpack_msi.cmake)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack_sign_programs.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack_checksums.cmake)
  set(CPACK_ORVIX_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_ORVIX_PYTHON /usr/bin/python3)
  # (CPackConfig.cmake takes no generator expressions: the DLL lands beside the programs.)
  set(CPACK_ORVIX_MSI_ACTIONS ${CMAKE_BINARY_DIR}/orvix-msi-actions.dll)
  # The extension ids an MSI registers when msiexec is given no EXTENSION_IDS
  # (cmake/extension_ids.cmake; empty: the MSIs refuse to install without them).
  set(CPACK_ORVIX_EXTENSION_IDS "${ORVIX_EXTENSION_ID_LIST}")
  set(CPACK_ORVIX_ABOUT_URL "${ORVIX_ABOUT_URL}")
  set(CPACK_ORVIX_HELP_URL "${ORVIX_HELP_URL}")
else()
  set(CPACK_GENERATOR DEB)
  # (The Windows programs are linked stripped, -s in the toolchain file:
  # MinGW's strip would write the time into each staged copy's PE header,
  # and the host in the zip would differ from the one in the MSIs.)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION web)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Installing registers the host system-wide when the tool has the product's
  # extension ids built in (ORVIX_EXTENSION_IDS), else nothing: only the user
  # knows the ids. Removing takes back the system-wide registrations that
  # name the host.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
                                         ${CMAKE_SOURCE_DIR}/packaging/debian/prerm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
