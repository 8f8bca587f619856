# `cpack -G DEB` in the build directory: one Debian package of both programs
# and their data, installed under /usr, its dependencies read from the
# binaries by dpkg-shlibdeps.
set(KELVARO_PACKAGE_CONTACT "Kelvarolaskuri maintainers <kelvarolaskuri@kelvaro.fi>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME kelvarolaskuri)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KELVARO_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "warrant and turbo warrant calculator (Finnish)")
set(CPACK_PACKAGE_DESCRIPTION
  "Kelvarolaskuri values exchange-traded warrants on a share: plain warrants and
two kinds of knock-out turbo warrants, calls and puts, on a three-branch price
lattice. The window (kelvarolaskuri) and the command line (kelvaro) give the
same listing and results file. The user interface is in Finnish.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs (file dialog, Yes/No) speak Finnish only with these.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
# The Python module is built for one interpreter version and imports numpy
# and pandas; dpkg-shlibdeps sees none of that.
if(TARGET _kelvaro)
  math(EXPR kelvaro_python_next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${kelvaro_python_next}), python3-numpy, python3-pandas")
endif()

include(CPack)

# Builds the package, unpacks it into a scratch root and runs the unpacked
# kelvaro there. Not for sanitizer or fuzzing builds, which are not shipped.
if(KELVARO_BUILD_TESTS AND TARGET kelvaro AND NOT KELVARO_SANITIZE AND NOT KELVARO_FUZZ)
  find_program(DPKG_DEB dpkg-deb)
  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DPKG_DEB AND DPKG_SHLIBDEPS)
    add_test(NAME package.deb
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-package.sh ${PROJECT_BINARY_DIR})
    # cpack installs from the whole build tree: nothing else may run meanwhile.
    set_tests_properties(package.deb PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  endif()
endif()
