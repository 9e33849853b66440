# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack` (scripts/package) turns the install rules into
# parvo_<version>_<arch>.deb, installed under /usr. Depends comes from dpkg-shlibdeps for the
# linked libraries (libuuid, libtiff and Qt's SVG module among them; libtesseract5 also holds
# pdf.ttf, the glyphless font that searchable PDFs embed for text beyond Helvetica's
# characters), plus what Parvo uses at run time without linking it: Tesseract's language data
# and orientation model, the URW fonts Poppler draws non-embedded standard fonts with, and
# xdg-open for showing folders.
set(PARVO_MAINTAINER "The Parvo developers <parvo@example.org>"
    CACHE STRING "The Debian package's Maintainer field (a name and an e-mail address)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME parvo)
set(CPACK_PACKAGE_VENDOR "The Parvo developers")
set(CPACK_PACKAGE_CONTACT "${PARVO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make images and PDFs smaller and scans searchable")
# Lines of at most 80 characters, as Debian's control files want them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Parvo compresses images and PDFs towards a size target, merges, splits and\n"
    "extracts PDF pages, turns scans into searchable PDFs and keeps a history of\n"
    "the results, entirely on the user's own computer. It is a window with one tab\n"
    "per task, and a set of commands for the terminal: parvo compress, ocr, merge,\n"
    "split and extract.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "tesseract-ocr-eng, tesseract-ocr-spa, tesseract-ocr-osd, fonts-urw-base35, xdg-utils")
# Qt draws on X11 (XWayland included) with what libqt6gui6 holds; its Wayland backend is apart.
# Qt's own translations put its standard dialogs in the window's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
