# grandora_embed_version_block(target): generates the program's version block from the project's
# version and names and links it into `target` as the ELF section ".versioninfo".
function(grandora_embed_version_block target)
  set(block ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.bin)
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.S)
  add_custom_command(OUTPUT ${block}
    COMMAND versionblockgen ${block}
      ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} 0
      "CompanyName=Zelmora"
      "FileDescription=Grandora - batch AI image upscaler"
      "FileVersion=${PROJECT_VERSION}.0"
      "InternalName=grandora"
      "LegalCopyright=Copyright (c) 2026 Zelmora"
      "OriginalFileName=grandora"
      "ProductName=Grandora"
      "ProductVersion=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}"
    DEPENDS versionblockgen
    COMMENT "Generating the version block of ${target}"
    VERBATIM)
  file(WRITE ${asm}
    ".section .versioninfo,\"a\",@progbits\n"
    ".balign 4\n"
    ".incbin \"${block}\"\n"
    ".section .note.GNU-stack,\"\",@progbits\n")
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${block})
  target_sources(${target} PRIVATE ${asm})
endfunction()
