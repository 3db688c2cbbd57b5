# CPack, before each Windows package is made: signs the programs staged for
# it, so the zip and the MSIs carry signed .exe files (cmake/windows_signing.cmake).
# A signature holds its signing time (and a time-stamp server's token), so
# each program is signed once and that signed file reused for every package:
# the host in the zip and in the MSIs stays the same file, and one SHA-256
# allow-list serves both. The signed copies are kept by the SHA-256 of the
# unsigned program, the certificate and the time-stamp server.
include(${CPACK_ORVIX_SOURCE_DIR}/cmake/windows_signing.cmake)
file(GLOB_RECURSE programs ${CPACK_TEMPORARY_DIRECTORY}/*.exe)
if("$ENV{ORVIX_SIGN_PKCS12}" STREQUAL "" OR "$ENV{ORVIX_SIGN_PASSWORD_FILE}" STREQUAL "")
  orvix_sign("the programs of the ${CPACK_GENERATOR} package" ${programs})
  return()
endif()
file(SHA256 "$ENV{ORVIX_SIGN_PKCS12}" certificate)
string(SHA256 signer "${certificate} $ENV{ORVIX_SIGN_TIMESTAMP_URL}")
set(signed_dir ${CPACK_TOPLEVEL_DIRECTORY}/../signed-programs)
set(unsigned "")
foreach(program ${programs})
  file(SHA256 ${program} digest)
  set(kept ${signed_dir}/${digest}-${signer}.exe)
  if(NOT EXISTS ${kept})
    orvix_sign("${program}" ${program})
    configure_file(${program} ${kept} COPYONLY)
  else()
    configure_file(${kept} ${program} COPYONLY)
    message(NOTICE "Signed ${program} as for the packages made before it.")
  endif()
endforeach()
