# Install layout and packages: a .deb from the Linux build, a .zip (cpack) and an MSI (target
# "msi") from the Windows build.
#
# The host and its tools ship in one folder. The stand-in agent and bridge are there only to try
# Quenlow out; they are a component of their own ("standins") and, where the loader allows it, a
# folder of their own. Off Windows the data-protection service (platform/), which the host and the
# stand-in agent share, is installed with them:
#
#   Linux (/opt/quenlow)              Windows (Quenlow-<version>-win64\)
#     bin/Quenlow                       Quenlow.exe
#     bin/quenlow-talk                  quenlow-talk.exe
#     bin/quenlow-register              quenlow-register.exe
#     share/quenlow/native-messaging-hosts/<host name>.json
#                                       <host name>.json, <host name>.firefox.json (manifests)
#     bin/libHalvern.so -> ../standins  Varnhold64.dll   (stand-in)
#     standins/libVarnhold64.so         Halvern.dll      (stand-in)
#     standins/libHalvern.so            STAND-INS.txt
#     standins/libQuenlowDataProtection.so
#     standins/README
#
# and, outside /opt/quenlow, the browsers' system-level manifests (below).
#
# Linux: the host finds the libraries it links through its RUNPATH ($ORIGIN/../standins); the
# bridge is loaded from beside the executable only, so bin/ holds a link to it. Windows: the loader
# takes an imported DLL, and the host takes the bridge, from the executable's folder, so the two
# DLLs must sit beside Quenlow.exe; STAND-INS.txt names them.
#
# Components: "host" (Quenlow and its manifests), "tools" (quenlow-talk, quenlow-register),
# "standins". A machine with the real agent installs only the first two: cmake --install <build>
# --component host ... On Linux the host component's manifests go to the browsers' folders, which
# are absolute paths (under $DESTDIR when set) and name the host under the --prefix installed to.

# Where the .deb installs to; its manifests name the host there.
set(QUENLOW_DEB_PREFIX /opt/quenlow)

# The manifests are what decides which extensions reach the host (and through it the agent), so
# nothing installs them for ids nobody chose (see HostManifests.cmake). The first install rule of
# the host component, which the packages install too: it stops cmake --install, cpack and the
# "msi" target before a file is written.
string(CONCAT QUENLOW_NO_IDS_MESSAGE
    "No extension ids were set, so no package or install of the host's manifests is made. "
    "Configure with the ids of the extensions that may start the host: "
    "-D QUENLOW_EXTENSION_IDS=<id>[;<id>...] (Chromium-family extension ids) and/or "
    "-D QUENLOW_FIREFOX_EXTENSION_IDS=<add-on id>[;...] (Firefox). "
    "The project's test ids are in browser/tests/browser/extension/ids.txt; "
    "a build with them makes a test package.")
if(NOT QUENLOW_IDS_GIVEN)
  install(CODE "message(FATAL_ERROR [==[${QUENLOW_NO_IDS_MESSAGE}]==])" COMPONENT host)
  message(STATUS "No extension ids: the host builds, its packages do not (QUENLOW_EXTENSION_IDS, "
                 "QUENLOW_FIREFOX_EXTENSION_IDS)")
endif()

# A build that admits a test id makes test packages: quenlow-test_<version>_amd64.deb,
# Quenlow-test-<version>-win64.zip, Quenlow-test-<version>-x64.msi, "Quenlow (test build)".
if(QUENLOW_TEST_BUILD)
  set(QUENLOW_PACKAGE_FILE_STEM Quenlow-test)
  set(QUENLOW_DEB_PACKAGE quenlow-test)
  set(QUENLOW_PRODUCT_NAME "Quenlow (test build)")
  message(STATUS "Test build: the manifests admit the project's test extension ids, and the "
                 "packages are named ${QUENLOW_DEB_PACKAGE} / ${QUENLOW_PRODUCT_NAME}")
else()
  set(QUENLOW_PACKAGE_FILE_STEM Quenlow)
  set(QUENLOW_DEB_PACKAGE quenlow)
  set(QUENLOW_PRODUCT_NAME Quenlow)
endif()

if(WIN32)
  set(QUENLOW_INSTALL_BINDIR .)
  set(QUENLOW_INSTALL_STANDINSDIR .)
  set(QUENLOW_INSTALL_EXAMPLESDIR examples)
else()
  set(QUENLOW_INSTALL_BINDIR bin)
  set(QUENLOW_INSTALL_STANDINSDIR standins)
  set(QUENLOW_INSTALL_EXAMPLESDIR share/quenlow/examples)
endif()

# quenlow_install_standin(TARGET): installs a stand-in library where the host finds it.
function(quenlow_install_standin target)
  install(TARGETS ${target}
          RUNTIME DESTINATION ${QUENLOW_INSTALL_STANDINSDIR} COMPONENT standins
          LIBRARY DESTINATION ${QUENLOW_INSTALL_STANDINSDIR} COMPONENT standins)
  if(NOT WIN32)
    # Stand-ins that link each other find their neighbours in their own folder.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
endfunction()

# The .deb registers the host with every browser, system-wide: a manifest naming
# /opt/quenlow/bin/Quenlow in each browser's system folder (HostManifests.cmake lists them; they
# are the folders quenlow-register --system writes to). quenlow-register stays for per-user
# installs and other extension ids.
#
# Debian's rule is that a package's files under /etc are conffiles (debhelper marks them so; cpack
# would ship them unmarked, against the rule), and dpkg keeps conffiles on "apt remove" (only
# "apt purge" deletes them): the browsers would go on finding a manifest whose host is gone.
# Deleting them from a maintainer script would fight dpkg's bookkeeping of conffiles. So the
# manifests are ordinary files outside /etc: the Chromium family's one in
# /opt/quenlow/share/quenlow/native-messaging-hosts/, Firefox's in Firefox's own system folder; the
# Chromium family's folders under /etc hold symbolic links to the first (the browsers' folders are
# those of the table of browsers, browser/tools/register/browsers.csv), and links are not
# conffiles. "apt remove" removes them all, an upgrade replaces the manifest without asking, and
# nothing invites editing it in place (other extension ids are quenlow-register's job).
function(quenlow_install_system_manifests)
  set(file_name ${QUENLOW_HOST_NAME}.json)
  set(made ${QUENLOW_MANIFEST_DIR}/linux)
  set(installed ${made}/installed)
  set(shared_folder share/quenlow/native-messaging-hosts)
  # The .deb's manifests as the build shows them; the installed ones are written at install time
  # from the templates, for the prefix installed to.
  set(host ${QUENLOW_DEB_PREFIX}/${QUENLOW_INSTALL_BINDIR}/Quenlow)
  foreach(family chromium firefox)
    quenlow_host_manifest(FAMILY ${family} HOST_PATH ${host} OUTPUT ${made}/${family}/${file_name})
    quenlow_host_manifest(FAMILY ${family} HOST_PATH %HOST% OUTPUT ${made}/templates/${family}.json)
  endforeach()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/packaging/InstalledManifests.cmake.in
                 ${made}/InstalledManifests.cmake @ONLY)
  install(SCRIPT ${made}/InstalledManifests.cmake COMPONENT host)
  install(FILES ${installed}/chromium/${file_name} DESTINATION ${shared_folder} COMPONENT host)
  install(FILES ${installed}/firefox/${file_name} DESTINATION ${QUENLOW_LINUX_SYSTEM_FOLDER_FIREFOX}
          COMPONENT host)
  # Installed as a link (install(FILES) copies a link as a link).
  foreach(folder IN LISTS QUENLOW_LINUX_CHROMIUM_FAMILY_SYSTEM_FOLDERS)
    install(FILES ${installed}/links/${file_name} DESTINATION ${folder} COMPONENT host)
  endforeach()
endfunction()

if(WIN32)
  # Beside the host, which their relative "path" names (see HostManifests.cmake).
  install(FILES ${QUENLOW_CHROMIUM_MANIFEST} ${QUENLOW_FIREFOX_MANIFEST} DESTINATION .
          COMPONENT host)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/STAND-INS.txt DESTINATION .
          COMPONENT standins)
else()
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/packaging/STAND-INS.txt
          DESTINATION ${QUENLOW_INSTALL_STANDINSDIR} RENAME README COMPONENT standins)
  quenlow_install_system_manifests()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/examples/session.jsonl DESTINATION ${QUENLOW_INSTALL_EXAMPLESDIR}
        COMPONENT tools)

# What Debian asks of a package beyond its program files (component "deb", which the .deb holds and
# a plain --component install leaves out): the copyright file and changelog, the tools an
# administrator runs linked from /usr/bin with their manual pages, and lintian's overrides. Man
# pages and changelog go compressed, without the time stamp gzip would otherwise record.
function(quenlow_install_debian_files)
  set(source ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/packaging/deb)
  set(made ${CMAKE_BINARY_DIR}/deb)
  file(MAKE_DIRECTORY ${made}/bin)
  configure_file(${source}/changelog.in ${made}/changelog @ONLY)
  foreach(text IN ITEMS ${made}/changelog ${source}/quenlow-register.1 ${source}/quenlow-talk.1)
    get_filename_component(name ${text} NAME)
    execute_process(COMMAND gzip -n -9 -c ${text} OUTPUT_FILE ${made}/${name}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${text})
  endforeach()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${source}/changelog.in)
  set(doc /usr/share/doc/${QUENLOW_DEB_PACKAGE})
  install(FILES ${source}/copyright ${made}/changelog.gz DESTINATION ${doc} COMPONENT deb)
  install(FILES ${source}/lintian-overrides DESTINATION /usr/share/lintian/overrides
          RENAME ${QUENLOW_DEB_PACKAGE} COMPONENT deb)
  foreach(tool IN ITEMS quenlow-register quenlow-talk)
    # Made at install time, to the tool under the prefix installed to.
    install(CODE "file(CREATE_LINK \"\${CMAKE_INSTALL_PREFIX}/${QUENLOW_INSTALL_BINDIR}/${tool}\"
                                   \"${made}/bin/${tool}\" SYMBOLIC)" COMPONENT deb)
    install(FILES ${made}/bin/${tool} DESTINATION /usr/bin COMPONENT deb)
    install(FILES ${made}/${tool}.1.gz DESTINATION /usr/share/man/man1 COMPONENT deb)
  endforeach()
endfunction()
if(NOT WIN32)
  quenlow_install_debian_files()
endif()

set(CPACK_PACKAGE_NAME ${QUENLOW_PACKAGE_FILE_STEM})
set(CPACK_PACKAGE_VENDOR "Quenlow")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Native-messaging host of a single sign-on agent's browser extension")
if(QUENLOW_TEST_BUILD)
  string(APPEND CPACK_PACKAGE_DESCRIPTION_SUMMARY " (test build)")
endif()
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quenlow developers <quenlow@example.org>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# Stripped with the toolchain's own strip (the cross one for the Windows build).
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${QUENLOW_PACKAGE_FILE_STEM}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX ${QUENLOW_DEB_PREFIX})
  set(CPACK_DEBIAN_PACKAGE_NAME ${QUENLOW_DEB_PACKAGE})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION web)
  # The summary above is the first line; this is the rest.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Quenlow relays messages between the browser extension and the sign-on agent.\n\
The package registers it with Chrome, Chromium, Edge, Brave, Vivaldi and\n\
Firefox for the extensions it was built for. It also holds quenlow-talk and\n\
quenlow-register, and stand-ins for the agent and its design-tool bridge\n\
(in /opt/quenlow/standins) to try it out.")
  if(QUENLOW_TEST_BUILD)
    string(APPEND CPACK_DEBIAN_PACKAGE_DESCRIPTION "\n\
.\n\
This is a test build: it admits the project's test extension, whose ids are\n\
public. Do not install it where real credentials are used.")
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS quenlow)
  else()
    set(CPACK_DEBIAN_PACKAGE_CONFLICTS quenlow-test)
  endif()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)

# The Windows Installer package, made by wixl from the same install rules (see Quenlow.wxs.in):
#   cmake --build --preset windows-x64 --target msi  ->  Quenlow-<version>-x64.msi
# (Quenlow-test-<version>-x64.msi, product "Quenlow (test build)", from a test build)
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)
  find_program(QUENLOW_WIXL wixl)
  set(QUENLOW_WXS ${CMAKE_BINARY_DIR}/msi/Quenlow.wxs)
  set(QUENLOW_MAKE_MSI ${CMAKE_BINARY_DIR}/msi/MakeMsi.cmake)
  set(QUENLOW_MSI ${CMAKE_BINARY_DIR}/${QUENLOW_PACKAGE_FILE_STEM}-${PROJECT_VERSION}-x64.msi)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/Quenlow.wxs.in ${QUENLOW_WXS} @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/MakeMsi.cmake.in ${QUENLOW_MAKE_MSI} @ONLY)
  add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -D VERSION=${PROJECT_VERSION} -D OUTPUT=${QUENLOW_MSI}
            -P ${QUENLOW_MAKE_MSI}
    BYPRODUCTS ${QUENLOW_MSI}
    COMMENT "Making ${QUENLOW_PACKAGE_FILE_STEM}-${PROJECT_VERSION}-x64.msi"
    VERBATIM)
  # Every target with an install rule (they are defined later; dependencies resolve at the end).
  add_dependencies(msi Quenlow quenlow-talk quenlow-register Varnhold64 Halvern)
endif()
