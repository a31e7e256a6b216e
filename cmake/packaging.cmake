# What gets installed and packaged: on Windows a zip to unpack into one folder,
# holding both programs and the shutter sound side by side (the programs find
# each other and the sound beside themselves).
if(WIN32)
    install(TARGETS Pelicrow Pelicrow_Launcher RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/CameraShot.wav DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
