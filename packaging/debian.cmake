# Debian packages through CPack (scripts/package.sh): one a component.
#   libdwxvmm1      libdwxvmm.so.1 and libdwxfiles.so.1
#   libdwxvmm-dev   headers, the .so links, pkg-config, CMake package, man 3
#   dwxvmm          the tool, its manual pages and completions
#   python3-dwxvmm  the Python module
# Configured with -DDWXVMM_PACKAGE=ON, which also installs each package's
# copyright and changelog and compresses the manual pages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dwxvmm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The dwxvmm developers <dwxvmm@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sparse paged 32-bit memory and firmware images")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libraries development tool python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries, found in the build; their package is a component
# dependency.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS libraries)
set(CPACK_COMPONENT_TOOL_DEPENDS libraries)
set(CPACK_COMPONENT_PYTHON_DEPENDS libraries)

set(CPACK_DEBIAN_LIBRARIES_PACKAGE_NAME libdwxvmm1)
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_SECTION libs)
# shlibs for the packages that link them; ldconfig by trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at the first digest, so no linker sees it.
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_DEPENDS libgcrypt20)
set(CPACK_COMPONENT_LIBRARIES_DESCRIPTION
  "sparse paged 32-bit memory and firmware image formats (libraries)
 libdwxvmm gives a program a byte-addressable memory over the 32-bit
 address space, of which only the touched pages occupy memory, with a bit
 a byte recording what was written. libdwxfiles reads and writes firmware
 images (Intel HEX, S-record, ELF, UF2, DfuSe and some forty more) in it.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libdwxvmm-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "sparse paged 32-bit memory and firmware image formats (development)
 The headers, the pkg-config file, the CMake package and the manual page
 libdwxvmm(3) for programs that use libdwxvmm and libdwxfiles.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME dwxvmm)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "inspect, convert, merge, edit and compare firmware images
 dwxvmm reads and writes Intel HEX, S-record, ELF, binary, UF2, DfuSe and
 some forty more formats, keeping holes as holes: it merges boot loaders
 and applications, fills, writes checksums and CRCs, splits images into
 EPROM lanes and compares images. With manual pages and completions for
 bash, zsh and fish.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-dwxvmm)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
# The module is built for one interpreter's ABI.
if(DWXVMM_PYTHON_VERSION)
  string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\1" major ${DWXVMM_PYTHON_VERSION})
  string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\2" minor ${DWXVMM_PYTHON_VERSION})
  math(EXPR next "${minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${DWXVMM_PYTHON_VERSION}), python3 (<< ${major}.${next})")
else()
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "firmware images in a sparse 32-bit memory (Python 3)
 The module dwxvmm loads, edits, compares and saves firmware images in the
 formats of the dwxvmm tool, with a type stub for type checkers.")

# Each package's copyright and changelog, as Debian's policy wants them.
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
               ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
set(dwxvmm_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_command(OUTPUT ${dwxvmm_changelog}
  COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/packaging/changelog > ${dwxvmm_changelog}
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog)
add_custom_target(dwxvmm_changelog ALL DEPENDS ${dwxvmm_changelog})
foreach(component libraries development tool python)
  string(TOUPPER ${component} upper)
  set(name ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${dwxvmm_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
endforeach()
include(CPack)
