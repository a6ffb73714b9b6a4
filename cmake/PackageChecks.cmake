# Read by cpack before it builds a package. Without dpkg-shlibdeps CPack would still build the
# .deb, only with none of the libraries the program links among its Depends.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(GRANDORA_SHLIBDEPS dpkg-shlibdeps)
  if(NOT GRANDORA_SHLIBDEPS)
    message(FATAL_ERROR "dpkg-shlibdeps is missing (package dpkg-dev); scripts/setup-deps installs it")
  endif()
endif()
