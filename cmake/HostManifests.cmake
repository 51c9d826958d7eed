# What the browsers are told: the host's name and the extensions that may start it, set once at
# configure time. The build writes the native-messaging manifests from these values into
# ${CMAKE_BINARY_DIR}/manifests/, and every package ships those files instead of writing its own.
#
# Two families read different manifests: Chromium, Chrome, Edge, Brave and Vivaldi admit
# extensions by origin ("allowed_origins": chrome-extension://<id>/), Firefox by add-on id
# ("allowed_extensions"). Both are otherwise alike, and the "path" member is the only part that
# depends on the package:
#
#   Windows (MSI, zip)  "Quenlow.exe"                  relative, resolved against the manifest's
#                                                      own folder, so the manifests sit beside the
#                                                      host and need no rewriting at install time
#   Linux (.deb)        "/opt/quenlow/bin/Quenlow"     browsers there require an absolute path;
#                                                      the installed ones are written at install
#                                                      time for the prefix (Packaging.cmake)
#
# A package that needs a manifest for another host path calls
#
#   quenlow_host_manifest(FAMILY chromium|firefox HOST_PATH <path> OUTPUT <file>)
#
# as Packaging.cmake does for the .deb, which installs one file named ${QUENLOW_HOST_NAME}.json
# per family (${QUENLOW_MANIFEST_DIR}/linux/<family>/) into the browsers' system folders named
# below. The Windows pair is written below: QUENLOW_CHROMIUM_MANIFEST and QUENLOW_FIREFOX_MANIFEST
# name them (file names as quenlow-register writes them beside the host: <name>.json and
# <name>.firefox.json).

# The extension ids have no default: the browser tests' extension has public ids (its key and add-on
# id are in the tests), so a package that admitted them would let anyone's extension reach the
# host. Without ids the build still makes the host and tools, with manifests that admit nobody, but
# installing the manifests (cmake --install, cpack, the "msi" target) stops. The test suites and the
# demo pass the test ids explicitly; a build with any of them is a test build
# (QUENLOW_TEST_BUILD), whose packages say so in their names.
set(QUENLOW_HOST_NAME "com.quenlow.host" CACHE STRING "Native-messaging host name")
set(QUENLOW_EXTENSION_IDS ""
    CACHE STRING "Chromium-family extension ids that may start the host (a list)")
set(QUENLOW_FIREFOX_EXTENSION_IDS ""
    CACHE STRING "Firefox add-on ids that may start the host (a list)")

# The project's test ids, one "<family> <id>" a line: QUENLOW_TEST_EXTENSION_IDS and
# QUENLOW_TEST_FIREFOX_EXTENSION_IDS.
set(QUENLOW_TEST_IDS_FILE ${PROJECT_SOURCE_DIR}/browser/tests/browser/extension/ids.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUENLOW_TEST_IDS_FILE})
file(STRINGS ${QUENLOW_TEST_IDS_FILE} _test_ids REGEX "^[a-z]+ ")
set(QUENLOW_TEST_EXTENSION_IDS)
set(QUENLOW_TEST_FIREFOX_EXTENSION_IDS)
foreach(_line IN LISTS _test_ids)
  string(REGEX REPLACE "^([a-z]+) +([^ ]+)$" "\\1;\\2" _pair "${_line}")
  list(GET _pair 0 _family)
  list(GET _pair 1 _id)
  if(_family STREQUAL "chromium")
    list(APPEND QUENLOW_TEST_EXTENSION_IDS ${_id})
  elseif(_family STREQUAL "firefox")
    list(APPEND QUENLOW_TEST_FIREFOX_EXTENSION_IDS ${_id})
  else()
    message(FATAL_ERROR "${QUENLOW_TEST_IDS_FILE}: \"${_line}\" is not \"chromium|firefox <id>\"")
  endif()
endforeach()

set(QUENLOW_TEST_BUILD OFF)
foreach(_id IN LISTS QUENLOW_EXTENSION_IDS)
  if(_id IN_LIST QUENLOW_TEST_EXTENSION_IDS)
    set(QUENLOW_TEST_BUILD ON)
  endif()
endforeach()
foreach(_id IN LISTS QUENLOW_FIREFOX_EXTENSION_IDS)
  if(_id IN_LIST QUENLOW_TEST_FIREFOX_EXTENSION_IDS)
    set(QUENLOW_TEST_BUILD ON)
  endif()
endforeach()
if(QUENLOW_EXTENSION_IDS STREQUAL "" AND QUENLOW_FIREFOX_EXTENSION_IDS STREQUAL "")
  set(QUENLOW_IDS_GIVEN OFF)
else()
  set(QUENLOW_IDS_GIVEN ON)
endif()
set(QUENLOW_HOST_DESCRIPTION "Quenlow native messaging host")

# A wrong value would only show when a browser refuses the host, so it stops the configuration.
if(NOT QUENLOW_HOST_NAME MATCHES "^[a-z0-9_]+(\\.[a-z0-9_]+)*$")
  message(FATAL_ERROR "QUENLOW_HOST_NAME \"${QUENLOW_HOST_NAME}\": use lower-case letters, "
                      "digits, '_' and '.', with no dot at either end and no two in a row")
endif()
foreach(_id IN LISTS QUENLOW_EXTENSION_IDS)
  string(LENGTH "${_id}" _length)
  if(NOT _id MATCHES "^[a-p]+$" OR NOT _length EQUAL 32)
    message(FATAL_ERROR "QUENLOW_EXTENSION_IDS: \"${_id}\" is not an extension id "
                        "(32 letters a to p)")
  endif()
endforeach()
foreach(_id IN LISTS QUENLOW_FIREFOX_EXTENSION_IDS)
  if(NOT _id MATCHES "^({[0-9a-fA-F-]+}|[A-Za-z0-9._-]*@[A-Za-z0-9._-]+)$")
    message(FATAL_ERROR "QUENLOW_FIREFOX_EXTENSION_IDS: \"${_id}\" is not an add-on id "
                        "(name@domain or {uuid})")
  endif()
endforeach()

set(QUENLOW_MANIFEST_DIR ${CMAKE_BINARY_DIR}/manifests)

# What the project knows about each browser is one table, browser/tools/register/browsers.csv.
# Read here once: QUENLOW_BROWSERS lists the names in the table's order, and
# QUENLOW_BROWSER_<NAME>_<COLUMN> holds each cell (upper-case names; a '|' in a cell becomes a list).
# quenlow-register gets its C++ table from it (BrowserTable.h.in), the .deb its manifest folders
# (QUENLOW_LINUX_SYSTEM_FOLDER_<NAME>, QUENLOW_LINUX_<FAMILY>_FAMILY_SYSTEM_FOLDERS) and the MSI its
# registry values (QUENLOW_MSI_BROWSER_REGISTRATIONS), so none of them can disagree.
set(QUENLOW_BROWSER_TABLE ${PROJECT_SOURCE_DIR}/browser/tools/register/browsers.csv)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUENLOW_BROWSER_TABLE})
file(STRINGS ${QUENLOW_BROWSER_TABLE} _rows REGEX "^[a-z]")
list(POP_FRONT _rows _header)
string(TOUPPER "${_header}" _header)
string(REPLACE "," ";" _columns "${_header}")
set(QUENLOW_BROWSERS)
set(QUENLOW_LINUX_CHROMIUM_FAMILY_SYSTEM_FOLDERS)
set(QUENLOW_LINUX_FIREFOX_FAMILY_SYSTEM_FOLDERS)
foreach(_row IN LISTS _rows)
  # Empty cells survive the split as empty list items.
  string(REPLACE "," ";" _cells "${_row}")
  list(LENGTH _cells _count)
  list(LENGTH _columns _wanted)
  if(NOT _count EQUAL _wanted)
    message(FATAL_ERROR "${QUENLOW_BROWSER_TABLE}: \"${_row}\" has ${_count} cells, not ${_wanted}")
  endif()
  list(GET _cells 0 _name)
  string(TOUPPER "${_name}" _key)
  list(APPEND QUENLOW_BROWSERS ${_name})
  foreach(_column _cell IN ZIP_LISTS _columns _cells)
    string(REPLACE "|" ";" _cell "${_cell}")
    set(QUENLOW_BROWSER_${_key}_${_column} "${_cell}")
  endforeach()
  if(NOT QUENLOW_BROWSER_${_key}_FAMILY MATCHES "^(chromium|firefox)$")
    message(FATAL_ERROR "${QUENLOW_BROWSER_TABLE}: ${_name}'s family is chromium or firefox")
  endif()
  # The first system folder is the one written; a browser reads the others too (or instead, for
  # Firefox built with lib64).
  list(GET QUENLOW_BROWSER_${_key}_LINUX_SYSTEM_FOLDER 0 QUENLOW_LINUX_SYSTEM_FOLDER_${_key})
  string(TOUPPER "${QUENLOW_BROWSER_${_key}_FAMILY}" _family)
  list(APPEND QUENLOW_LINUX_${_family}_FAMILY_SYSTEM_FOLDERS ${QUENLOW_LINUX_SYSTEM_FOLDER_${_key}})
endforeach()
list(REMOVE_DUPLICATES QUENLOW_LINUX_CHROMIUM_FAMILY_SYSTEM_FOLDERS)

# The MSI's system-wide registrations, in the 64-bit view: every browser's first manifest key once
# (Chromium's is the first Brave and Vivaldi read), naming the manifest of the key's family.
set(QUENLOW_MSI_BROWSER_REGISTRATIONS)
set(_written)
set(_key_path " KeyPath=\"yes\"")
foreach(_name IN LISTS QUENLOW_BROWSERS)
  string(TOUPPER "${_name}" _key)
  set(_manifest "@QUENLOW_HOST_NAME@.json")
  if(QUENLOW_BROWSER_${_key}_FAMILY STREQUAL "firefox")
    set(_manifest "@QUENLOW_HOST_NAME@.firefox.json")
  endif()
  list(GET QUENLOW_BROWSER_${_key}_WINDOWS_MANIFEST_KEYS 0 _registry_key)
  if(NOT _registry_key IN_LIST _written)
    list(APPEND _written "${_registry_key}")
    string(APPEND QUENLOW_MSI_BROWSER_REGISTRATIONS
           "            <RegistryValue Root=\"HKLM\" Key=\"${_registry_key}\\${QUENLOW_HOST_NAME}\"\n"
           "                           Type=\"string\" Value=\"[INSTALLDIR]${_manifest}\"${_key_path}/>\n")
    set(_key_path "")
  endif()
endforeach()
string(REPLACE "@QUENLOW_HOST_NAME@" "${QUENLOW_HOST_NAME}" QUENLOW_MSI_BROWSER_REGISTRATIONS
       "${QUENLOW_MSI_BROWSER_REGISTRATIONS}")
string(STRIP "${QUENLOW_MSI_BROWSER_REGISTRATIONS}" QUENLOW_MSI_BROWSER_REGISTRATIONS)

# The text of a JSON string holding `text`.
function(_quenlow_json_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# quenlow_host_manifest(FAMILY chromium|firefox HOST_PATH <path> OUTPUT <file>): writes the
# manifest of that browser family for a host at <path>.
# Same layout as quenlow-register's, so the two are easy to compare.
function(quenlow_host_manifest)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "FAMILY;HOST_PATH;OUTPUT" "")
  if(arg_FAMILY STREQUAL "chromium")
    set(list_key allowed_origins)
    set(allowed)
    foreach(id IN LISTS QUENLOW_EXTENSION_IDS)
      list(APPEND allowed "chrome-extension://${id}/")
    endforeach()
  elseif(arg_FAMILY STREQUAL "firefox")
    set(list_key allowed_extensions)
    set(allowed ${QUENLOW_FIREFOX_EXTENSION_IDS})
  else()
    message(FATAL_ERROR "quenlow_host_manifest: FAMILY is chromium or firefox")
  endif()
  if(NOT arg_HOST_PATH OR NOT arg_OUTPUT)
    message(FATAL_ERROR "quenlow_host_manifest: HOST_PATH and OUTPUT are required")
  endif()

  _quenlow_json_string("${QUENLOW_HOST_NAME}" name)
  _quenlow_json_string("${QUENLOW_HOST_DESCRIPTION}" description)
  _quenlow_json_string("${arg_HOST_PATH}" path)
  set(items)
  foreach(item IN LISTS allowed)
    _quenlow_json_string("${item}" item)
    list(APPEND items "    ${item}")
  endforeach()
  if(items)
    list(JOIN items ",\n" items)
    set(items "[\n${items}\n  ]")
  else()
    set(items "[]")
  endif()
  set(text "{\n  \"name\": ${name},\n  \"description\": ${description},\n  \"path\": ${path},\n")
  string(APPEND text "  \"type\": \"stdio\",\n  \"${list_key}\": ${items}\n}\n")
  # Rewritten only when the text changes, so what depends on the file is not rebuilt for nothing.
  set(old "")
  if(EXISTS "${arg_OUTPUT}")
    file(READ "${arg_OUTPUT}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${arg_OUTPUT}" "${text}")
  endif()
endfunction()

if(WIN32)
  set(QUENLOW_CHROMIUM_MANIFEST ${QUENLOW_MANIFEST_DIR}/windows/${QUENLOW_HOST_NAME}.json)
  set(QUENLOW_FIREFOX_MANIFEST ${QUENLOW_MANIFEST_DIR}/windows/${QUENLOW_HOST_NAME}.firefox.json)
  quenlow_host_manifest(FAMILY chromium HOST_PATH Quenlow.exe OUTPUT ${QUENLOW_CHROMIUM_MANIFEST})
  quenlow_host_manifest(FAMILY firefox HOST_PATH Quenlow.exe OUTPUT ${QUENLOW_FIREFOX_MANIFEST})
endif()
