# The Debian package: `cpack --config build/CPackConfig.cmake` (scripts/package) installs the
# "system" component of this build under /usr and builds grandora_<version>_amd64.deb from it.
# Depends come from the shared libraries of the installed executables (dpkg-shlibdeps), plus
# what is loaded at run time rather than linked: Qt's image format (WebP) and window system
# plugins, and Vulkan with Mesa's drivers for the upscaler, which runs on the processor through
# Mesa when there is no graphics card. Vulkan is named even when the package carries the
# upscaler, whose libraries then name it too: one provisioned later needs it all the same.
# oneDNN (libdnnl2), which the built-in engine links, is named too, so that the package asks for
# it even where dpkg-shlibdeps cannot map the library to its package.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME grandora)
set(CPACK_PACKAGE_VENDOR Zelmora)
set(CPACK_PACKAGE_CONTACT "${GRANDORA_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "enlarge many images at once with an AI upscaler")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Grandora enlarges photos and artwork four times in width and height with an
AI upscaler that draws the missing detail instead of blurring it. It works
through a whole list of PNG, JPEG and WebP images in one run, and file
managers offer it among the programs to open such images with.

The upscaler, realesrgan-ncnn-vulkan, runs through Vulkan on the graphics
card, or on the processor through Mesa's software driver. When the package
was built without it, the program says where to get it. The package also
carries grandora-enlarge, a built-in engine that runs the same models on the
processor with oneDNN, far faster than a software Vulkan driver.]=])
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${GRANDORA_WEB_HOST}/")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-image-formats-plugins, qt6-qpa-plugins, libvulkan1, mesa-vulkan-drivers, libdnnl2")
# The icon theme of the list's file icons outside a desktop session, and the opener of web
# pages, the licence and finished images.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, xdg-utils")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};system;/")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/PackageChecks.cmake)
include(CPack)
