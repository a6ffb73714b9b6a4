# grandora_copy_system_pictures(OUTPUT_VARIABLE SOURCE_DIR LIST_FILE DEST_DIR): copies the PNGs
# named in LIST_FILE (lines "our_name system_name") from SOURCE_DIR to DEST_DIR/our_name.png at
# configure time, so the program carries them wherever it is installed; sets OUTPUT_VARIABLE to
# the copied files.
function(grandora_copy_system_pictures output_variable source_dir list_file dest_dir)
  file(STRINGS ${list_file} pairs)
  set(files)
  foreach(pair IN LISTS pairs)
    string(REPLACE " " ";" pair "${pair}")
    list(GET pair 0 our_name)
    list(GET pair 1 system_name)
    if(NOT EXISTS ${source_dir}/${system_name}.png)
      message(FATAL_ERROR "${system_name}.png not found in ${source_dir}; run scripts/setup-deps")
    endif()
    configure_file(${source_dir}/${system_name}.png ${dest_dir}/${our_name}.png COPYONLY)
    list(APPEND files ${dest_dir}/${our_name}.png)
  endforeach()
  set(${output_variable} ${files} PARENT_SCOPE)
endfunction()
