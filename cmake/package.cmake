# The Debian package built by `cpack` (scripts/package): what `cmake --install` installs, with
# the shared-library dependencies found by dpkg-shlibdeps plus the fonts the window uses.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireo)
set(CPACK_PACKAGE_VENDOR "Vireo developers")
set(CPACK_PACKAGE_CONTACT "Vireo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audio spectrum analyser")
set(CPACK_PACKAGE_DESCRIPTION
  "Vireo takes frames from the sound card, through the system's audio server, or from built-in\n\
test signals, computes their FFT and draws a coloured bar spectrum with a level legend and a\n\
frequency axis. The user interface is in Japanese. vireo-analyse runs the same analysis from\n\
the command line on test signals and audio files.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, fonts-dejavu-core")
# The audio server's volume control (the multimedia settings command) and the toolkit's
# translations, which show its dialogs and buttons in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pavucontrol, qt6-translations-l10n")
include(CPack)
