# What gets installed and packaged: on Windows a zip to unpack into one folder,
# holding both programs and the shutter sound side by side (the programs find
# each other and the sound beside themselves).
if(WIN32)
    install(TARGETS Pelicrow Pelicrow_Launcher RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/CameraShot.wav DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    # On Linux the same folder of three lives in libexec/pelicrow; the command
    # "pelicrow" is a link to it, since the programs look beside their resolved
    # path. A newer version is fetched only when that folder is writable (an install
    # into a prefix of one's own): a system-wide package is updated by apt instead.
    include(GNUInstallDirs)
    set(program_dir ${CMAKE_INSTALL_LIBEXECDIR}/pelicrow)
    install(TARGETS Pelicrow Pelicrow_Launcher RUNTIME DESTINATION ${program_dir})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/CameraShot.wav DESTINATION ${program_dir})
    file(RELATIVE_PATH link_target ${CMAKE_INSTALL_FULL_BINDIR}
         ${CMAKE_INSTALL_FULL_LIBEXECDIR}/pelicrow/Pelicrow)
    file(CREATE_LINK ${link_target} ${CMAKE_BINARY_DIR}/pelicrow SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/pelicrow DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/pelicrow.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # 200 x 200 is no size of the hicolor theme; pixmaps takes any.
    install(FILES ${PROJECT_SOURCE_DIR}/resources/camera.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME pelicrow.png)

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_NAME pelicrow)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pelicrow developers <pelicrow@localhost>")
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen capture from the system tray")
    set(CPACK_PACKAGE_DESCRIPTION
        "In any application, Ctrl + Shift + a digit saves the whole screen or a dragged\n"
        "rectangle as a picture, puts it on the clipboard and plays a shutter sound.")
    string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
    # Loaded at run time, so no library link names them: Qt's sound back-end.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5multimedia5-plugins, gstreamer1.0-plugins-good")
    find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(DPKG_SHLIBDEPS)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    else()
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
               ", libqt5core5a, libqt5gui5, libqt5widgets5, libqt5network5, libqt5dbus5"
               ", libqt5multimedia5, libx11-6, libxtst6, libssl3, zlib1g")
    endif()
endif()
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
