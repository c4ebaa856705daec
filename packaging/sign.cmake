# Authenticode signing of what dist ships, with osslsigncode: sign, then verify; any failure stops the build.
#   cmake -DSETTINGS=sign-settings.cmake -DIN=a.exe -DOUT=signed/a.exe -DDESCRIPTION=... -P sign.cmake
# build-msi.cmake includes it and signs the package with zandrel_sign(... MSI), which adds the
# MsiDigitalSignatureEx stream. SETTINGS (written by packaging/CMakeLists.txt from the ZANDREL_SIGN_* cache
# settings) sets SIGN_OSSLSIGNCODE, SIGN_OPENSSL, SIGN_PKCS12, SIGN_PASSWORD_FILE, SIGN_TIMESTAMP_URL,
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
  foreach(var SIGN_OSSLSIGNCODE SIGN_OPENSSL SIGN_PKCS12 SIGN_PASSWORD_FILE)
    if(NOT ${var})
      message(FATAL_ERROR "sign.cmake: ${var} is not set")
    endif()
  endforeach()
  set(timestamp "")
  if(SIGN_TIMESTAMP_URL)
    set(timestamp -ts ${SIGN_TIMESTAMP_URL})
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

  # The signature is checked against the chain it carries, the system's CAs and SIGN_CAFILE; a chain that
  # ends nowhere trusted fails, as it would on the servers. The time stamp may also chain to the
  # time-stamping certificates that an offline stamp (-TSA-certs) was made with.
  execute_process(COMMAND ${SIGN_OSSLSIGNCODE} extract-signature -pem -in ${partial} -out ${partial}.p7
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE log)
  if(status EQUAL 0)
    execute_process(COMMAND ${SIGN_OPENSSL} pkcs7 -print_certs -in ${partial}.p7 RESULT_VARIABLE status
                    OUTPUT_FILE ${partial}.carried.pem ERROR_VARIABLE log)
  endif()
  file(REMOVE "${partial}.p7")
  if(NOT status EQUAL 0)
    file(REMOVE "${partial}" "${partial}.carried.pem")
    message(FATAL_ERROR "Signing ${name}: no certificates in the new signature:\n${log}")
  endif()
  zandrel_sign_read_certs("${partial}.carried.pem" carried)
  file(REMOVE "${partial}.carried.pem")
  zandrel_sign_read_certs("${SIGN_CAFILE}" given)
  zandrel_sign_read_certs(/etc/ssl/certs/ca-certificates.crt system)
  list(FIND SIGN_OPTIONS -TSA-certs at)
  set(tsa_file "")
  if(at GREATER_EQUAL 0)
    math(EXPR at "${at} + 1")
    list(GET SIGN_OPTIONS ${at} tsa_file)
  endif()
  zandrel_sign_read_certs("${tsa_file}" tsa)
  file(WRITE "${partial}.ca.pem" "${carried}${given}${system}")
  file(WRITE "${partial}.tsa-ca.pem" "${carried}${given}${tsa}${system}")
  execute_process(COMMAND ${SIGN_OSSLSIGNCODE} verify -CAfile ${partial}.ca.pem -TSA-CAfile ${partial}.tsa-ca.pem
                          -in ${partial} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
  file(REMOVE "${partial}.ca.pem" "${partial}.tsa-ca.pem")
  if(NOT status EQUAL 0 OR NOT log MATCHES "\nSucceeded")
    file(REMOVE "${partial}")
    message(FATAL_ERROR "The signature of ${name} does not verify (osslsigncode verify ${status}). Give the "
                        "PKCS#12 file with its whole chain, or its root in ZANDREL_SIGN_CAFILE:\n${log}")
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
