# The program folder, in the build tree and under the install prefix: the executable with
# Languages/ and license.txt beside it, plus a desktop entry and an icon so that desktop menus
# can offer the program.

configure_file(${CMAKE_SOURCE_DIR}/license.txt ${GRANDORA_BIN_DIR}/license.txt COPYONLY)
install(FILES ${CMAKE_SOURCE_DIR}/license.txt DESTINATION ${GRANDORA_INSTALL_DIR})

install(DIRECTORY ${CMAKE_SOURCE_DIR}/languages/ DESTINATION ${GRANDORA_INSTALL_DIR}/Languages
    OPTIONAL
    FILES_MATCHING PATTERN "*.lang.txt" PATTERN "LanguageCodes.csv")

install(FILES ${CMAKE_SOURCE_DIR}/src/resources/pictures/grandora.svg
    DESTINATION share/icons/hicolor/scalable/apps)

# The entry names the executable and the icon by absolute path, and the prefix is only known for
# certain when installing (--prefix may differ from the configured one), so it is written then.
# The icon is named by path because a prefix such as /opt/grandora is not among the icon
# theme folders a desktop searches.
install(CODE "
    set(PROJECT_NAME \"${PROJECT_NAME}\")
    cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE grandora_prefix)
    cmake_path(APPEND grandora_prefix \"${GRANDORA_INSTALL_DIR}\" grandora OUTPUT_VARIABLE GRANDORA_EXEC)
    cmake_path(NORMAL_PATH GRANDORA_EXEC)
    set(GRANDORA_ICON \"\${grandora_prefix}/share/icons/hicolor/scalable/apps/grandora.svg\")
    configure_file(\"${CMAKE_SOURCE_DIR}/src/resources/grandora.desktop.in\"
        \"${CMAKE_BINARY_DIR}/grandora.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\"
        TYPE FILE FILES \"${CMAKE_BINARY_DIR}/grandora.desktop\")
")

# The upscaler, when it has been provisioned into the build's program folder.
install(DIRECTORY ${GRANDORA_BIN_DIR}/realesrgan DESTINATION ${GRANDORA_INSTALL_DIR}
    OPTIONAL USE_SOURCE_PERMISSIONS)
