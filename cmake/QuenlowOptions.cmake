# Shared compile settings: warnings are errors on every toolchain.
add_library(quenlow_warnings INTERFACE)
if(MSVC)
  target_compile_options(quenlow_warnings INTERFACE /W4 /WX /permissive-)
else()
  target_compile_options(quenlow_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
endif()

if(WIN32)
  # Unicode Win32 API, no min/max macros, lean headers.
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

# Header-only libraries from Debian. The cross compiler must not see all of /usr/include, so each
# gets a folder in the build that holds nothing but a link named `link` to its headers at `root`;
# the folder's path is returned in `out`.
function(quenlow_header_folder out link root)
  set(dir ${CMAKE_BINARY_DIR}/${link}-headers)
  file(MAKE_DIRECTORY ${dir})
  if(NOT EXISTS ${dir}/${link})
    file(CREATE_LINK ${root} ${dir}/${link} SYMBOLIC)
  endif()
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# Boost.JSON is used header-only.
set(QUENLOW_BOOST_ROOT "/usr/include/boost" CACHE PATH "Boost headers")
quenlow_header_folder(_boost_dir boost ${QUENLOW_BOOST_ROOT})
add_library(quenlow_boost_headers INTERFACE)
target_include_directories(quenlow_boost_headers SYSTEM INTERFACE ${_boost_dir})
target_compile_definitions(quenlow_boost_headers INTERFACE BOOST_ALL_NO_LIB BOOST_JSON_NO_LIB
                                                           BOOST_CONTAINER_NO_LIB)

# Executables with a wide entry point.
function(quenlow_wide_entry target)
  if(WIN32)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()

# Sanitizer builds (linux-asan, linux-tsan, fuzz): the whole tree, GoogleTest included, is
# instrumented alike; a report ends the program instead of being logged and passed over.
set(QUENLOW_SANITIZE "" CACHE STRING "Sanitizers to build with, e.g. address;undefined or thread")
if(QUENLOW_SANITIZE)
  list(JOIN QUENLOW_SANITIZE "," _sanitizers)
  add_compile_options(-fsanitize=${_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${_sanitizers})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC's flow analysis sees through the sanitizers' instrumentation poorly and reports
    # uninitialised reads inside the standard library's variant and string that do not happen.
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()

# Hardened code generation for every binary, the tests' included (they run the same code): stack
# protector, position-independent executables, and in optimised builds the checked variants of
# the C library's buffer functions. FORTIFY needs optimisation and clashes with the sanitizers'
# own interceptors, so those builds go without it.
if(NOT MSVC)
  include(CheckPIESupported)
  check_pie_supported()
  add_compile_options(-fstack-protector-strong)
  if(NOT WIN32 AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
    # Stack-clash probing and control-flow marks (CET) too, as Debian's own x86-64 builds have.
    add_compile_options(-fstack-clash-protection -fcf-protection)
  endif()
  if(NOT QUENLOW_SANITIZE AND NOT WIN32)
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>
                        $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  endif()
endif()
if(WIN32 AND NOT MSVC)
  # ASLR with a 64-bit base, DEP, and the relocations ASLR needs (ld drops .reloc from an
  # executable unless told it is position independent). The stack protector's runtime (libssp)
  # comes in statically with the rest of the runtime (-static in the toolchain file).
  add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--high-entropy-va
                   -Wl,--nxcompat)
elseif(NOT MSVC)
  # Full RELRO (relocations read-only after start-up, no lazy binding) and a stack that is not
  # executable.
  add_link_options(-fstack-protector-strong -Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
endif()

# libFuzzer targets (clang only).
option(QUENLOW_BUILD_FUZZ "Build the libFuzzer targets in fuzz/" OFF)
