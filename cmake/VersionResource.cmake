# Windows programs that say what they are: a version resource from the project version (shown in
# Explorer's properties, read by inventory tools and by Windows Installer to compare files), and
# for the host an application manifest. Compiled with the toolchain's resource compiler.
#
#   quenlow_version_resource(<target> DESCRIPTION <text> [APPLICATION_MANIFEST <file.in>])
#
# Does nothing off Windows.

if(WIN32)
  enable_language(RC)
endif()

# Resources want four numbers; the project version has three.
set(QUENLOW_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(QUENLOW_VERSION_DOTS
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

function(quenlow_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION;APPLICATION_MANIFEST" "")
  set(description "${arg_DESCRIPTION}")
  set(manifest_line "")
  if(arg_APPLICATION_MANIFEST)
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${arg_APPLICATION_MANIFEST} ${manifest} @ONLY)
    # 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID) of type 24 (RT_MANIFEST): the manifest the loader
    # reads when the program starts.
    set(manifest_line "1 24 \"${manifest}\"")
  endif()
  file(READ ${PROJECT_SOURCE_DIR}/cmake/packaging/version.rc.in text)
  string(CONFIGURE "${text}" text @ONLY)
  # The file name comes from the target, so it is only known when the build is generated.
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc CONTENT "${text}")
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  if(arg_APPLICATION_MANIFEST)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc PROPERTIES
                                OBJECT_DEPENDS ${manifest})
  endif()
endfunction()
