# Authenticode signing of what dist ships, with osslsigncode: sign, then verify; any failure stops the build.
#   cmake -DSETTINGS=sign-settings.cmake -DIN=a.exe -DOUT=signed/a.exe -DDESCRIPTION=...
#         -DEPOCH_FILE=source-date-epoch.txt -P sign.cmake
# build-msi.cmake includes it and signs the package with zandrel_sign(... MSI), which adds the
# MsiDigitalSignatureEx stream. SETTINGS (written by packaging/CMakeLists.txt from the ZANDREL_SIGN_* cache
# settings) sets SIGN_OSSLSIGNCODE, SIGN_PKCS12, SIGN_PASSWORD_FILE, SIGN_TIMESTAMP_URL,
# SIGN_OPTIONS (a list), SIGN_CAFILE and SIGN_URL. The password stays in its file: osslsigncode reads it there.

# The certificates a PEM file holds, as text (empty when it holds none).
function(zandrel_sign_read_certs file out)
  set(text "")
  if(file AND EXISTS "${file}")
    file(READ "${file}" text)
    string(REGEX MATCHALL "-----BEGIN CERTIFICATE-----[^-]+-----END CERTIFICATE-----" certs "${text}")
    list(JOIN certs "\n" text)
  endif()
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

# zandrel_sign(IN OUT DESCRIPTION [MSI])
function(zandrel_sign in out description)
  set(msi_options "")
  if(ARGN STREQUAL "MSI")
    set(msi_options -add-msi-dse)
  endif()
  foreach(var SIGN_OSSLSIGNCODE SIGN_PKCS12 SIGN_PASSWORD_FILE)
    if(NOT ${var})
      message(FATAL_ERROR "sign.cmake: ${var} is not set")
    endif()
  endforeach()
  set(timestamp "")
  if(SIGN_TIMESTAMP_URL)
    set(timestamp -ts ${SIGN_TIMESTAMP_URL})
  endif()
  # The signing time is the release's date unless the options give one: signed twice with an RSA key and
  # no time stamp, a release is the same bytes.
  list(FIND SIGN_OPTIONS -time time_given)
  if(EPOCH_FILE AND time_given LESS 0)
    file(STRINGS ${EPOCH_FILE} epoch LIMIT_COUNT 1)
    list(APPEND timestamp -time ${epoch})
  endif()
  get_filename_component(name "${out}" NAME)
  get_filename_component(folder "${out}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  set(partial "${out}.partial")
  file(REMOVE "${out}" "${partial}")
  execute_process(
    COMMAND ${SIGN_OSSLSIGNCODE} sign -pkcs12 ${SIGN_PKCS12} -readpass ${SIGN_PASSWORD_FILE} -h sha256
            -n ${description} -i ${SIGN_URL} ${timestamp} ${msi_options} ${SIGN_OPTIONS} -in ${in} -out ${partial}
    RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(NOT status EQUAL 0)
    file(REMOVE "${partial}")
    message(FATAL_ERROR "Signing ${name} failed (osslsigncode ${status}):\n${log}")
  endif()

  # The signature and its time stamp must chain to a root that the system's CAs or SIGN_CAFILE hold, as
  # they must on the servers; the certificates that the PKCS#12 file and the signature carry build the
  # chain but are never trusted, so a root that only its own file vouches for fails.
  zandrel_sign_read_certs("${SIGN_CAFILE}" given)
  zandrel_sign_read_certs(/etc/ssl/certs/ca-certificates.crt system)
  file(WRITE "${partial}.ca.pem" "${given}${system}")
  execute_process(COMMAND ${SIGN_OSSLSIGNCODE} verify -CAfile ${partial}.ca.pem -TSA-CAfile ${partial}.ca.pem
                          -in ${partial} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  file(REMOVE "${partial}.ca.pem")
  if(NOT status EQUAL 0 OR NOT log MATCHES "\nSucceeded")
    file(REMOVE "${partial}")
    message(FATAL_ERROR "The signature of ${name} does not verify against the system's CA certificates and "
                        "ZANDREL_SIGN_CAFILE (osslsigncode verify ${status}). If its root is your own CA, give that "
                        "root's certificate (PEM) in ZANDREL_SIGN_CAFILE; the certificates in the PKCS#12 file are "
                        "not trusted:\n${log}")
  endif()
  file(RENAME "${partial}" "${out}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  cmake_minimum_required(VERSION 3.25)
  foreach(var IN ITEMS SETTINGS IN OUT DESCRIPTION)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "sign.cmake: ${var} is not set")
    endif()
  endforeach()
  include(${SETTINGS})
  zandrel_sign(${IN} ${OUT} ${DESCRIPTION})
endif()
