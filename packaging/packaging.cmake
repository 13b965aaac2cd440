# What `cmake --install` puts under the prefix, and the Debian package `make package` builds
# from it (CPack). Included from the top CMakeLists.txt after every executable is defined.
#
#   bin/                                     lumocompress, lumocompress-cli, lumo-service
#   share/lumocompress/skin/                 the skin (the program looks for it beside itself
#                                            first, then in ../share/lumocompress)
#   share/applications/<id>.desktop          the menu entry; "open with" passes the files
#   share/metainfo/<id>.metainfo.xml         the software-centre description
#   share/icons/hicolor/{scalable,48x48,128x128,256x256}/apps/<id>.{svg,png}
#
# No Config.ini is installed: without one the program uses its built-in service address and no
# channel word. A Config.ini put in share/lumocompress/ is read as one beside the executable.
include(GNUInstallDirs)

set(LUMO_APP_ID io.lumocompress.LumoCompress)
# The date of the release named by project(VERSION); the metainfo lists it.
set(LUMO_RELEASE_DATE 2026-12-09)
# No licence has been chosen for the program yet; an SPDX expression goes here once it is.
set(LUMO_PROJECT_LICENSE LicenseRef-proprietary)

install(TARGETS lumocompress lumo-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/skin/ DESTINATION ${CMAKE_INSTALL_DATADIR}/lumocompress/skin)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${LUMO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(LUMO_METAINFO ${CMAKE_BINARY_DIR}/packaging/${LUMO_APP_ID}.metainfo.xml)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${LUMO_APP_ID}.metainfo.xml.in ${LUMO_METAINFO} @ONLY)
install(FILES ${LUMO_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Icons: the SVG as drawn, and PNGs rendered from it at build time for the fixed sizes.
set(LUMO_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/icons/${LUMO_APP_ID}.svg)
install(FILES ${LUMO_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(LUMO_RSVG_CONVERT rsvg-convert)
if(LUMO_RSVG_CONVERT)
    set(LUMO_ICON_PNGS)
    foreach(size 48 128 256)
        set(folder ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size})
        add_custom_command(
            OUTPUT ${folder}/${LUMO_APP_ID}.png
            COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
            COMMAND ${LUMO_RSVG_CONVERT} -w ${size} -h ${size} -o ${folder}/${LUMO_APP_ID}.png
                    ${LUMO_ICON_SVG}
            DEPENDS ${LUMO_ICON_SVG}
            COMMENT "Rendering the ${size} px icon")
        list(APPEND LUMO_ICON_PNGS ${folder}/${LUMO_APP_ID}.png)
        install(FILES ${folder}/${LUMO_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(lumo_icons ALL DEPENDS ${LUMO_ICON_PNGS})
else()
    message(WARNING "rsvg-convert not found (package librsvg2-bin, see scripts/install-deps): "
                    "the PNG icons are left out of the installation")
endif()

# The Debian package: lumocompress_<version>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumocompress)
set(CPACK_PACKAGE_VENDOR "LumoCompress developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video and image compressor")
# One string: the separate parts of a list would be joined with ";".
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "LumoCompress makes video and image files smaller, in batches, with ffmpeg\n"
    "and ImageMagick. It comes as a desktop program (lumocompress) and a\n"
    "command-line program (lumocompress-cli) sharing the same engines, plus\n"
    "lumo-service, a small reference web service for the upgrade check and\n"
    "feedback.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "LumoCompress developers <packages@lumocompress.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the executables link come from dpkg-shlibdeps; what they start or load at run time
# is named here: the encoders and the image tools, and Qt's display plugins (only recommended
# by the Qt libraries, yet the window cannot open without one).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, imagemagick, qt6-qpa-plugins")
# The window's texts are Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")
include(CPack)

# Its tests, here because they need the targets above and the test helpers of tests/.
add_subdirectory(${CMAKE_SOURCE_DIR}/tests/packaging ${CMAKE_BINARY_DIR}/tests/packaging)
