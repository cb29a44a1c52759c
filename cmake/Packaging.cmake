# The Debian packages, one per install component:
#   vantor               the server, its tools and windows, libkorbel.so, docs,
#                        man pages, units, desktop files, the Python reader
#   libvantorclient3     the client library
#   libvantorclient-dev  its header and CMake/pkg-config files
# Built with `cpack` in a build configured for the prefix /usr (the `ci` and
# `package` presets); scripts/build-packages.sh does it and checks the result.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "Vantor developers")
set(CPACK_PACKAGE_CONTACT "Vantor developers <maintainers@vantor.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installs with DESTDIR, so the autostart entry's /etc lands in the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL vantor client devel)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vantor.example.org/)

set(CPACK_DEBIAN_VANTOR_PACKAGE_NAME vantor)
set(CPACK_DEBIAN_VANTOR_PACKAGE_SECTION science)
# The window's texts are Chinese; the reader package needs Python 3.11.
# py3compile/py3clean of the maintainer scripts come with python3 as well.
set(CPACK_DEBIAN_VANTOR_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-wqy-zenhei, python3 (>= 3.11)")
set(CPACK_DEBIAN_VANTOR_PACKAGE_SUGGESTS "mosquitto")
set(CPACK_COMPONENT_VANTOR_DESCRIPTION "data-acquisition server of a measurement workstation
Vantor owns the workstation's data-acquisition card (ISA/PC104 cards by port
I/O, or a PCI card behind a CH365 bridge), or a simulated board when no card
answers, and publishes every value in a shared-memory block that any local
program may read. The package holds the server (headless as a systemd user
service, or behind a tray icon), vantorctl, vantor-boardsim, the MQTT bridge,
the system library, the Python reader (python3 -m vantor) and the manuals.")
set(deb ${PROJECT_SOURCE_DIR}/packaging/deb)
set(CPACK_DEBIAN_VANTOR_PACKAGE_CONTROL_EXTRA ${deb}/vantor/conffiles ${deb}/vantor/postinst
    ${deb}/vantor/prerm)

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME libvantorclient3)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "client library of the Vantor data-acquisition server
CHardWare gives a program the analog, frequency, counter and digital values
of the Vantor server, or of the program's own acquisition card when it runs
without the server. This package holds the shared library.")

set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libvantorclient-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "libvantorclient3 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEVEL_DESCRIPTION "client library of the Vantor server - development files
CHardWare gives a program the analog, frequency, counter and digital values
of the Vantor data-acquisition server. This package holds the header, the
CMake package (find_package(VantorClient)) and the pkg-config file.")

# The runtime library's shlibs file and the ldconfig trigger; the maintainer
# scripts of our own keep CPack from adding direct ldconfig calls.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA ${deb}/libvantorclient3/triggers
    ${deb}/libvantorclient3/postinst ${deb}/libvantorclient3/postrm)

include(CPack)
