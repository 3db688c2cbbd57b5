# Authenticode signing of Windows files with osslsigncode, for the CPack
# scripts of the Windows packages. The certificate comes from the
# environment of `make package` (or cpack):
#   ORVIX_SIGN_PKCS12          the PKCS#12 file (certificate and private key)
#   ORVIX_SIGN_PASSWORD_FILE   a file holding its password
#   ORVIX_SIGN_TIMESTAMP_URL   optional: an RFC 3161 time-stamp server, so the
#                              signature stays valid after the certificate expires
# Without the first two the files stay unsigned and this says so; with only
# one of them the packaging fails rather than ship unsigned files by mistake.

function(orvix_sign what)
  set(pkcs12 "$ENV{ORVIX_SIGN_PKCS12}")
  set(password "$ENV{ORVIX_SIGN_PASSWORD_FILE}")
  if(pkcs12 STREQUAL "" AND password STREQUAL "")
    message(NOTICE "UNSIGNED: ${what} (no certificate: set ORVIX_SIGN_PKCS12 and ORVIX_SIGN_PASSWORD_FILE to sign).")
    return()
  endif()
  if(pkcs12 STREQUAL "" OR password STREQUAL "")
    message(FATAL_ERROR "Signing needs both ORVIX_SIGN_PKCS12 and ORVIX_SIGN_PASSWORD_FILE; only one is set.")
  endif()
  set(timestamp "")
  if(NOT "$ENV{ORVIX_SIGN_TIMESTAMP_URL}" STREQUAL "")
    set(timestamp -ts "$ENV{ORVIX_SIGN_TIMESTAMP_URL}")
  endif()
  foreach(file ${ARGN})
    execute_process(
      COMMAND osslsigncode sign -pkcs12 ${pkcs12} -readpass ${password} -h sha256 -n "Orvix Chrome native host"
              ${timestamp} -in ${file} -out ${file}.signed
      RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
      file(REMOVE ${file}.signed)
      message(FATAL_ERROR "osslsigncode could not sign ${file}:\n${output}")
    endif()
    file(RENAME ${file}.signed ${file})
  endforeach()
  message(NOTICE "Signed ${what} with ${pkcs12}.")
endfunction()
