# SPDX-License-Identifier: Apache-2.0
# Debian packages from the default preset: cmake --build --preset default --target package
#   tarn-multi-downloader  the window, tarn-flash, the udev rule and registrar,
#                          the tmpfiles entry, desktop data, manuals, completion
#   keld-sim               the simulated phone, a training and test tool
# Dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarn-multi-downloader)
set(CPACK_PACKAGE_VENDOR "Tarn developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARN_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The udev rule goes to a fixed place outside the prefix;
# installing through DESTDIR keeps them inside the package's tree.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL operator sim)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARN_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each package's description: synopsis on the first line, then the long
# text. (No package-wide summary is set: CPack would put it in front.)
set(CPACK_DEBIAN_OPERATOR_PACKAGE_NAME tarn-multi-downloader)
set(CPACK_COMPONENT_OPERATOR_DESCRIPTION
    "write firmware images into up to eight phones at once
Tarn Multi Downloader flashes phones whose boot loader shows up as a USB
serial (CDC-ACM) port, up to eight at a time, one download job per phone.
It brings the operator window (tarn-multi-downloader), its command-line
counterpart (tarn-flash), and a udev rule with its registrar that publishes
attached phones in the serial-port map, keeps ModemManager away from them and
can give each cable of a station a fixed COM number.")
set(CPACK_DEBIAN_OPERATOR_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)

set(CPACK_DEBIAN_SIM_PACKAGE_NAME keld-sim)
set(CPACK_COMPONENT_SIM_DESCRIPTION
    "simulated phone boot loaders for Tarn Multi Downloader
keld-sim runs up to 32 simulated phone boot loaders on pseudo-terminals
and publishes them in Tarn Multi Downloader's serial-port map, so that
operators can train and the tools can be tested without phones. It stores
what each phone was sent and can inject faults: refused commands and frames,
wrong echoes, short answers, silence and unplugs. tarn-sample-images writes
sample PDA, CSC and phone images that the simulated phones accept, so a first
batch needs nothing else.")

include(CPack)
