# The Debian package: the three programs, the reader driver termsim's CCID side loads, and what
# packaging/ adds. Dependencies come from the shared libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME termload)
set(CPACK_PACKAGE_VENDOR "Termload contributors")
set(CPACK_PACKAGE_CONTACT "Termload maintainers <maintainers@users.noreply.c-seed-ce881cce.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "load firmware and data files into POS terminals")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Termload loads firmware and data files into point-of-sale terminals on a\n"
    "service bench or a production line, over serial ports (one, or 9, 18 or 27\n"
    "in parallel), USB-HID, USB-CCID and the boot loader's USB download pipe.\n"
    "\n"
    "The package carries the desktop program (termload), the same engine for\n"
    "scripted lines (termload-cli), and termsim, simulated terminals on\n"
    "pseudo-terminals for demos and rehearsals.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TERMLOAD_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# termsim --ccid runs a private pcscd.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pcscd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/deb)
include(CPack)
