# CPack, before each Windows package is made: signs the programs staged for
# it, so the zip and the MSIs carry signed .exe files (cmake/windows_signing.cmake).
include(${CPACK_ORVIX_SOURCE_DIR}/cmake/windows_signing.cmake)
file(GLOB_RECURSE programs ${CPACK_TEMPORARY_DIRECTORY}/*.exe)
orvix_sign("the programs of the ${CPACK_GENERATOR} package" ${programs})
