# The Debian package built by `cpack` (scripts/package): what `cmake --install` installs, with
# the shared-library dependencies found by dpkg-shlibdeps plus the fonts the window uses.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireo)
set(CPACK_PACKAGE_VENDOR "Vireo developers")
# No contact address exists: the field names the developers without one (the lintian
# overrides installed with the package give the reason).
set(CPACK_PACKAGE_CONTACT "Vireo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audio spectrum analyser")
# Lines of at most 80 characters, as the control file's description wants them.
set(CPACK_PACKAGE_DESCRIPTION
  "Vireo takes frames from the sound card, through the system's audio server, or\n\
from built-in test signals, computes their FFT and draws a coloured bar\n\
spectrum with a level legend and a frequency axis. The user interface is in\n\
Japanese. vireo-analyse runs the same analysis from the command line on test\n\
signals and audio files.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-dejavu-core")
# The audio server's volume control (the multimedia settings command), the toolkit's
# translations, which show its dialogs and buttons in the user's language, and its Wayland
# platform, without which a Wayland session shows the window through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pavucontrol, qt6-translations-l10n, qt6-wayland")
# The CD player that the "CD PLAYER" command starts.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS goobox)
include(CPack)
