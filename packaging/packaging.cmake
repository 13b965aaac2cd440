# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts under the prefix, and the Debian packages `make package` builds
# from it (CPack). Included from the top CMakeLists.txt after every executable is defined.
#
# Two packages, each a CPack component: lumocompress (component "app": the window, the command
# line and their files) and lumo-service (component "service": the reference service, its man
# page and its systemd unit). Every install rule names its component.
#
#   bin/                                     lumocompress, lumocompress-cli (cli/cli.cmake),
#                                            lumo-service (tools/lumo-service.cmake)
#   share/lumocompress/skin/                 the skin (the program looks for it beside itself
#                                            first, then in ../share/lumocompress)
#   share/applications/<id>.desktop          the menu entry; "open with" passes the files
#   share/metainfo/<id>.metainfo.xml         the software-centre description
#   share/icons/hicolor/{scalable,48x48,128x128,256x256}/apps/<id>.{svg,png}
#   share/man/man1/<program>.1.gz            the three programs' manual pages
#   share/bash-completion/completions/, share/zsh/vendor-completions/,
#   share/fish/vendor_completions.d/         lumocompress-cli's completions
#   lib/systemd/system/lumo-service.service  the service's unit
#   share/doc/<package>/                     copyright, changelog.Debian.gz
#   share/lintian/overrides/<package>        lintian tags that do not apply, with the reasons
#
# No Config.ini is installed: without one the program uses its built-in service address and no
# channel word. A Config.ini put in share/lumocompress/ is read as one beside the executable.
include(GNUInstallDirs)

set(LUMO_APP_ID io.lumocompress.LumoCompress)
# The date of the release named by project(VERSION); the metainfo lists it.
set(LUMO_RELEASE_DATE 2026-12-09)
# The package's revision of that release: its version is <project version>-<revision>, and the
# top entry of packaging/debian/changelog names the same.
set(LUMO_DEB_REVISION 1)
set(LUMO_PROJECT_LICENSE GPL-3.0-or-later)
set(LUMO_HOMEPAGE https://lumocompress.io/)

install(TARGETS lumocompress RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/skin/ DESTINATION ${CMAKE_INSTALL_DATADIR}/lumocompress/skin
    COMPONENT app)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${LUMO_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT app)

set(LUMO_METAINFO ${CMAKE_BINARY_DIR}/packaging/${LUMO_APP_ID}.metainfo.xml)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${LUMO_APP_ID}.metainfo.xml.in ${LUMO_METAINFO} @ONLY)
install(FILES ${LUMO_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT app)

# Icons: the SVG as drawn, and PNGs rendered from it at build time for the fixed sizes.
set(LUMO_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/icons/${LUMO_APP_ID}.svg)
install(FILES ${LUMO_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    COMPONENT app)
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
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT app)
    endforeach()
    add_custom_target(lumo_icons ALL DEPENDS ${LUMO_ICON_PNGS})
else()
    message(WARNING "rsvg-convert not found (package librsvg2-bin, see scripts/install-deps): "
                    "the PNG icons are left out of the installation")
endif()

# Files compressed the way Debian ships them: gzip -9n, without a name or time inside, so the
# same source gives the same bytes.
find_program(LUMO_GZIP gzip REQUIRED)
set(LUMO_GZIPPED)
function(lumo_gzip source output)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${LUMO_GZIP} -9nkf ${source}
        DEPENDS ${source}
        COMMENT "Compressing ${source}")
    set(LUMO_GZIPPED ${LUMO_GZIPPED} ${output} PARENT_SCOPE)
endfunction()

# Manual pages, with the version and the release date filled in.
set(LUMO_MAN_DIR ${CMAKE_BINARY_DIR}/packaging/man)
foreach(page lumocompress:app lumocompress-cli:app lumo-service:service)
    string(REPLACE ":" ";" page ${page})
    list(GET page 0 program)
    list(GET page 1 component)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${program}.1.in ${LUMO_MAN_DIR}/${program}.1 @ONLY)
    lumo_gzip(${LUMO_MAN_DIR}/${program}.1 ${LUMO_MAN_DIR}/${program}.1.gz)
    install(FILES ${LUMO_MAN_DIR}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT ${component})
endforeach()

# The command line's completions, where each shell looks for the completions of packages.
set(LUMO_COMPLETIONS ${CMAKE_CURRENT_LIST_DIR}/completions)
install(FILES ${LUMO_COMPLETIONS}/lumocompress-cli.bash RENAME lumocompress-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT app)
install(FILES ${LUMO_COMPLETIONS}/_lumocompress-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT app)
install(FILES ${LUMO_COMPLETIONS}/lumocompress-cli.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d COMPONENT app)

# The service's unit, where systemd looks for the units of packages.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/lumo-service.service
    DESTINATION lib/systemd/system COMPONENT service)

# Each package's copyright and changelog in its documentation folder.
set(LUMO_DOC_DIR ${CMAKE_BINARY_DIR}/packaging/doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${LUMO_DOC_DIR}/changelog.Debian COPYONLY)
lumo_gzip(${LUMO_DOC_DIR}/changelog.Debian ${LUMO_DOC_DIR}/changelog.Debian.gz)
foreach(package lumocompress:app lumo-service:service)
    string(REPLACE ":" ";" package ${package})
    list(GET package 0 name)
    list(GET package 1 component)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${LUMO_DOC_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
    # The lintian tags that do not apply to the package, each with its reason.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/lintian/${name}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()
add_custom_target(lumo_packaging_files ALL DEPENDS ${LUMO_GZIPPED})

# The Debian packages: lumocompress_<version>-<revision>_<arch>.deb and
# lumo-service_<version>-<revision>_<arch>.deb in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumocompress)
set(CPACK_PACKAGE_VENDOR "LumoCompress developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL ${LUMO_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL app service)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LUMO_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE lumocompress)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "LumoCompress developers <packages@lumocompress.invalid>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Maintainer scripts are installed with the modes dpkg wants (0755), whatever the checkout's.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries the executables link come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The first line of each description is the synopsis. One string each: the separate parts of
# a list would be joined with ";".
set(CPACK_DEBIAN_APP_PACKAGE_NAME lumocompress)
set(CPACK_DEBIAN_APP_PACKAGE_SECTION video)
string(CONCAT CPACK_DEBIAN_APP_DESCRIPTION
    "video and image compressor\n"
    "LumoCompress makes video and image files smaller, in batches, with ffmpeg\n"
    "and ImageMagick: videos in H.264, H.265 or AV1 at a share of the source's\n"
    "bit rate or a constant quality, images in their own format or as JPEG,\n"
    "WebP or AVIF. It comes as a desktop program (lumocompress) and a\n"
    "command-line program (lumocompress-cli) sharing the same engines.")
# What the programs start or load at run time, which dpkg-shlibdeps cannot see: the encoders
# and the image tools, MediaInfo (opened with dlopen for frame rates ffprobe lacks), and Qt's
# display plugins (only recommended by the Qt libraries, yet the window cannot open without one).
set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "ffmpeg, imagemagick, libmediainfo0v5, qt6-qpa-plugins")
# The window's Chinese texts.
set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME lumo-service)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION web)
string(CONCAT CPACK_DEBIAN_SERVICE_DESCRIPTION
    "reference web service for LumoCompress\n"
    "lumo-service is a small HTTP server for LumoCompress on one machine or a\n"
    "small network: it answers the program's upgrade check, stores the feedback\n"
    "its users send, and serves the help page and installer files.\n"
    "\n"
    "The package runs it with systemd as a dynamic user on 127.0.0.1:8731,\n"
    "keeping its state under /var/lib/lumo-service.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/lumo-service/postinst
    ${CMAKE_CURRENT_LIST_DIR}/debian/lumo-service/prerm
    ${CMAKE_CURRENT_LIST_DIR}/debian/lumo-service/postrm)
include(CPack)

# Its tests, here because they need the targets above and the test helpers of tests/.
add_subdirectory(${CMAKE_SOURCE_DIR}/tests/packaging ${CMAKE_BINARY_DIR}/tests/packaging)
