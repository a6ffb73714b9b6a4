# The installed program comes in two layouts, from the same build:
# - a program folder (the default; `cmake --install build`, prefix /opt/grandora): the executable
#   with Languages/, realesrgan/ and license.txt beside it, as in the build tree, plus a desktop
#   entry and an icon;
# - the system's layout (component "system", which the Debian package installs under /usr):
#   bin/grandora with its data in lib/grandora/, and the desktop entry, icons, AppStream
#   metainfo, manual page and Debian documents where the desktop and dpkg look for them.
# The program finds its data in either (platform::ProgramDataFolder).

configure_file(${CMAKE_SOURCE_DIR}/license.txt ${GRANDORA_BIN_DIR}/license.txt COPYONLY)

set(GRANDORA_APPSTREAM_ID example.zelmora.grandora)
# The host part of the maker's web host; a port has no place in a mail address.
string(REGEX REPLACE ":.*" "" grandora_mail_host "${GRANDORA_WEB_HOST}")
set(GRANDORA_MAINTAINER "Zelmora <grandora@${grandora_mail_host}>")

# The release notes and the program's version must agree, and the Debian changelog is dated
# by the newest release.
file(READ ${CMAKE_SOURCE_DIR}/src/resources/grandora.metainfo.xml.in grandora_metainfo)
if(NOT grandora_metainfo MATCHES "<release version=\"([^\"]+)\" date=\"([^\"]+)\"")
  message(FATAL_ERROR "grandora.metainfo.xml.in lists no release")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "The newest release in src/resources/grandora.metainfo.xml.in is "
      "${CMAKE_MATCH_1}, the project's version is ${PROJECT_VERSION}: add a <release> for it")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d ${CMAKE_MATCH_2}
    OUTPUT_VARIABLE GRANDORA_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)

# grandora_install_program(COMPONENT name BIN_DIR dir DATA_DIR dir [EXCLUDE_FROM_ALL]): the
# executable into BIN_DIR and its data into DATA_DIR, both under the install prefix.
function(grandora_install_program)
  cmake_parse_arguments(ARG "EXCLUDE_FROM_ALL" "COMPONENT;BIN_DIR;DATA_DIR" "" ${ARGN})
  set(exclude)
  if(ARG_EXCLUDE_FROM_ALL)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  install(TARGETS grandora RUNTIME DESTINATION ${ARG_BIN_DIR} COMPONENT ${ARG_COMPONENT} ${exclude})
  # The built-in engine's program sits beside the program, which starts it from there.
  install(TARGETS grandora-enlarge RUNTIME DESTINATION ${ARG_BIN_DIR}
      COMPONENT ${ARG_COMPONENT} ${exclude})
  install(FILES ${CMAKE_SOURCE_DIR}/license.txt DESTINATION ${ARG_DATA_DIR}
      COMPONENT ${ARG_COMPONENT} ${exclude})
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/languages/ DESTINATION ${ARG_DATA_DIR}/Languages
      COMPONENT ${ARG_COMPONENT} ${exclude}
      FILES_MATCHING PATTERN "*.lang.txt" PATTERN "LanguageCodes.csv")
  # The upscaler, when it has been provisioned into the build's program folder. The build that
  # is fetched for it searches libraries in a folder of the machine it was built on, where
  # anyone with that user name here could plant one, and carries its symbols, which a stripped
  # install drops like ours.
  install(DIRECTORY ${GRANDORA_BIN_DIR}/realesrgan DESTINATION ${ARG_DATA_DIR}
      COMPONENT ${ARG_COMPONENT} ${exclude} OPTIONAL USE_SOURCE_PERMISSIONS)
  install(CODE "
      set(upscaler \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ARG_DATA_DIR}/realesrgan/realesrgan-ncnn-vulkan\")
      if(EXISTS \"\${upscaler}\")
        file(RPATH_REMOVE FILE \"\${upscaler}\")
        if(CMAKE_INSTALL_DO_STRIP)
          execute_process(COMMAND \"${CMAKE_STRIP}\" \"\${upscaler}\" COMMAND_ERROR_IS_FATAL ANY)
        endif()
      endif()
      " COMPONENT ${ARG_COMPONENT} ${exclude})
  install(FILES ${CMAKE_SOURCE_DIR}/src/resources/pictures/grandora.svg
      DESTINATION share/icons/hicolor/scalable/apps COMPONENT ${ARG_COMPONENT} ${exclude})
endfunction()

grandora_install_program(COMPONENT folder
    BIN_DIR ${GRANDORA_INSTALL_DIR} DATA_DIR ${GRANDORA_INSTALL_DIR})
# The entry names the executable and the icon by absolute path, and the prefix is only known for
# certain when installing (--prefix may differ from the configured one), so it is written then.
# The icon is named by path because a prefix such as /opt/grandora is not among the icon
# theme folders a desktop searches.
install(CODE "
    set(PROJECT_NAME \"${PROJECT_NAME}\")
    cmake_path(ABSOLUTE_PATH CMAKE_INSTALL_PREFIX NORMALIZE OUTPUT_VARIABLE grandora_prefix)
    cmake_path(APPEND grandora_prefix \"${GRANDORA_INSTALL_DIR}\" grandora OUTPUT_VARIABLE GRANDORA_EXEC)
    cmake_path(NORMAL_PATH GRANDORA_EXEC)
    set(GRANDORA_EXEC \"\\\"\${GRANDORA_EXEC}\\\"\")
    set(GRANDORA_ICON \"\${grandora_prefix}/share/icons/hicolor/scalable/apps/grandora.svg\")
    configure_file(\"${CMAKE_SOURCE_DIR}/src/resources/grandora.desktop.in\"
        \"${CMAKE_BINARY_DIR}/grandora.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/share/applications\"
        TYPE FILE FILES \"${CMAKE_BINARY_DIR}/grandora.desktop\")
    " COMPONENT folder)

# In the system's layout the executable is in the search path and the icon in the icon theme,
# so the entry names both by name, and a desktop picks the icon size it needs.
grandora_install_program(COMPONENT system EXCLUDE_FROM_ALL BIN_DIR bin DATA_DIR lib/grandora)
set(system_dir ${CMAKE_BINARY_DIR}/system)
set(GRANDORA_EXEC grandora)
set(GRANDORA_ICON grandora)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/grandora.desktop.in
    ${system_dir}/grandora.desktop @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/src/resources/grandora.metainfo.xml.in
    ${system_dir}/${GRANDORA_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${system_dir}/changelog @ONLY)
install(FILES ${system_dir}/grandora.desktop DESTINATION share/applications
    COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${system_dir}/${GRANDORA_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo
    COMPONENT system EXCLUDE_FROM_ALL)
foreach(size IN LISTS GRANDORA_ICON_PNG_SIZES)
  install(FILES ${GRANDORA_ICON_PNG_DIR}/${size}x${size}/grandora.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps COMPONENT system EXCLUDE_FROM_ALL)
endforeach()

# Debian wants its documents compressed reproducibly (no name, no time stamp in the header).
configure_file(${CMAKE_SOURCE_DIR}/packaging/grandora.1 ${system_dir}/grandora.1 COPYONLY)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
foreach(document changelog grandora.1)
  add_custom_command(OUTPUT ${system_dir}/${document}.gz
      COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${system_dir}/${document} > ${system_dir}/${document}.gz
      DEPENDS ${system_dir}/${document})
  list(APPEND compressed_documents ${system_dir}/${document}.gz)
endforeach()
add_custom_target(grandora_documents ALL DEPENDS ${compressed_documents})
install(FILES ${system_dir}/grandora.1.gz DESTINATION share/man/man1
    COMPONENT system EXCLUDE_FROM_ALL)
install(FILES ${system_dir}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
    DESTINATION share/doc/grandora COMPONENT system EXCLUDE_FROM_ALL)
