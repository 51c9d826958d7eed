# Authenticode signing (SHA-256, osslsigncode) of every .exe and .dll the MSI ships and of the MSI
# itself, with the organisation's certificate. Read in two ways:
#   - at configure time (included by Packaging.cmake): the cache variables below;
#   - in script mode (included by MakeMsi.cmake): quenlow_signing_resolve() and quenlow_sign().
#
# The certificate, as a cache variable or, when that is empty, the same name in the environment of
# the build (so it may be given at configure or at build time):
#   QUENLOW_SIGN_PKCS12           a PKCS#12 file with the certificate, its chain and key, or
#   QUENLOW_SIGN_CERT             a certificate file (PEM or DER, with the chain) and
#   QUENLOW_SIGN_KEY              its private key;
#   QUENLOW_SIGN_PASSWORD_FILE    a file whose first line is the PKCS#12 file's or key's password;
#   QUENLOW_SIGN_PASSWORD         environment only: the password itself;
#   QUENLOW_SIGN_TIMESTAMP_URL    optional RFC 3161 timestamp server, so signatures outlive the
#                                 certificate.
# A password is never written into the cache, nor put on a command line that other users can read.
set(QUENLOW_SIGN_SETTINGS PKCS12 CERT KEY PASSWORD_FILE TIMESTAMP_URL)

if(NOT CMAKE_SCRIPT_MODE_FILE)
  if(DEFINED CACHE{QUENLOW_SIGN_PASSWORD})
    unset(QUENLOW_SIGN_PASSWORD CACHE)
    message(FATAL_ERROR "QUENLOW_SIGN_PASSWORD would be written into CMakeCache.txt: give the "
                        "password as QUENLOW_SIGN_PASSWORD_FILE, or as QUENLOW_SIGN_PASSWORD in "
                        "the environment of the build")
  endif()
  set(QUENLOW_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the Windows package with")
  set(QUENLOW_SIGN_CERT "" CACHE FILEPATH "Certificate to sign the Windows package with")
  set(QUENLOW_SIGN_KEY "" CACHE FILEPATH "Private key of QUENLOW_SIGN_CERT")
  set(QUENLOW_SIGN_PASSWORD_FILE "" CACHE FILEPATH
      "File holding the password of QUENLOW_SIGN_PKCS12 or QUENLOW_SIGN_KEY")
  set(QUENLOW_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server for the signatures")
  find_program(QUENLOW_OSSLSIGNCODE osslsigncode)
  return()
endif()

# Settles each QUENLOW_SIGN_<setting>: a value given to the script with -D, else the configured
# one (passed as <setting> <value> pairs), else the environment's. Sets QUENLOW_SIGNING to whether
# there is a certificate, and stops on a half-given or unreadable one.
macro(quenlow_signing_resolve)
  cmake_parse_arguments(_configured "" "${QUENLOW_SIGN_SETTINGS}" "" ${ARGN})
  foreach(_setting IN LISTS QUENLOW_SIGN_SETTINGS)
    if(NOT DEFINED QUENLOW_SIGN_${_setting})
      set(QUENLOW_SIGN_${_setting} "${_configured_${_setting}}")
    endif()
    if(QUENLOW_SIGN_${_setting} STREQUAL "" AND DEFINED ENV{QUENLOW_SIGN_${_setting}})
      set(QUENLOW_SIGN_${_setting} "$ENV{QUENLOW_SIGN_${_setting}}")
    endif()
  endforeach()
  _quenlow_signing_check()
endmacro()

function(_quenlow_signing_check)
  set(signing FALSE)
  if(QUENLOW_SIGN_PKCS12 AND (QUENLOW_SIGN_CERT OR QUENLOW_SIGN_KEY))
    message(FATAL_ERROR "Signing: give QUENLOW_SIGN_PKCS12, or QUENLOW_SIGN_CERT and "
                        "QUENLOW_SIGN_KEY, not both")
  elseif(QUENLOW_SIGN_PKCS12)
    set(files PKCS12)
  elseif(QUENLOW_SIGN_CERT OR QUENLOW_SIGN_KEY)
    if(NOT (QUENLOW_SIGN_CERT AND QUENLOW_SIGN_KEY))
      message(FATAL_ERROR "Signing: QUENLOW_SIGN_CERT and QUENLOW_SIGN_KEY go together")
    endif()
    set(files CERT KEY)
  endif()
  if(NOT files AND (QUENLOW_SIGN_PASSWORD_FILE OR QUENLOW_SIGN_TIMESTAMP_URL
                    OR DEFINED ENV{QUENLOW_SIGN_PASSWORD}))
    message(FATAL_ERROR "Signing: a password or timestamp server was given but no certificate "
                        "(QUENLOW_SIGN_PKCS12, or QUENLOW_SIGN_CERT and QUENLOW_SIGN_KEY)")
  elseif(files)
    set(signing TRUE)
    if(QUENLOW_SIGN_PASSWORD_FILE)
      list(APPEND files PASSWORD_FILE)
    endif()
    foreach(setting IN LISTS files)
      if(NOT EXISTS "${QUENLOW_SIGN_${setting}}" OR IS_DIRECTORY "${QUENLOW_SIGN_${setting}}")
        message(FATAL_ERROR "Signing: QUENLOW_SIGN_${setting} (${QUENLOW_SIGN_${setting}}) "
                            "is not a file")
      endif()
    endforeach()
    if(NOT EXISTS "${QUENLOW_OSSLSIGNCODE}")
      message(FATAL_ERROR "Signing: osslsigncode was not found; scripts/setup installs it "
                          "(Debian package osslsigncode)")
    endif()
  endif()
  set(QUENLOW_SIGNING ${signing} PARENT_SCOPE)
endfunction()

# The password goes to osslsigncode in a file: its own, or one written from the environment into
# a folder only this user can enter (private_folder, which the caller removes).
function(_quenlow_signing_password_arguments private_folder out)
  if(QUENLOW_SIGN_PASSWORD_FILE)
    set(${out} -readpass "${QUENLOW_SIGN_PASSWORD_FILE}" PARENT_SCOPE)
  elseif(DEFINED ENV{QUENLOW_SIGN_PASSWORD})
    file(MAKE_DIRECTORY "${private_folder}")
    file(CHMOD "${private_folder}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    file(WRITE "${private_folder}/password" "$ENV{QUENLOW_SIGN_PASSWORD}")
    set(${out} -readpass "${private_folder}/password" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# quenlow_sign(FILES <file>... PRIVATE <folder> REMOVE_ON_FAILURE <path>...)
# Signs each file in place (through a copy beside it, renamed over it once signed). PRIVATE is
# where a password from the environment is put for the while; the caller removes it. On a failure
# the unsigned file and REMOVE_ON_FAILURE are removed, so nothing is left that looks finished.
function(quenlow_sign)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" PRIVATE "FILES;REMOVE_ON_FAILURE")
  if(QUENLOW_SIGN_PKCS12)
    set(credentials -pkcs12 "${QUENLOW_SIGN_PKCS12}")
  else()
    set(credentials -certs "${QUENLOW_SIGN_CERT}" -key "${QUENLOW_SIGN_KEY}")
  endif()
  _quenlow_signing_password_arguments("${arg_PRIVATE}" password)
  set(timestamp)
  if(QUENLOW_SIGN_TIMESTAMP_URL)
    set(timestamp -ts "${QUENLOW_SIGN_TIMESTAMP_URL}")
  endif()
  foreach(file IN LISTS arg_FILES)
    file(REMOVE "${file}.signed")
    execute_process(
      COMMAND "${QUENLOW_OSSLSIGNCODE}" sign ${credentials} ${password} -h sha256 -n Quenlow
              ${timestamp} -in "${file}" -out "${file}.signed"
      RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
    if(NOT status EQUAL 0)
      file(REMOVE "${file}" "${file}.signed")
      file(REMOVE_RECURSE "${arg_PRIVATE}" ${arg_REMOVE_ON_FAILURE})
      message(FATAL_ERROR "Signing ${file} failed:\n${log}")
    endif()
    file(RENAME "${file}.signed" "${file}")
  endforeach()
endfunction()
