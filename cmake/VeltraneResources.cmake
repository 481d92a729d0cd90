# Each plug-in finds its run-time files in "<plug-in>.resources" beside its
# shared object; the build tree and an installed copy have the same layout.
# The list of files is kept by resources/CMakeLists.txt.
function(veltrane_add_resources target name)
  get_property(files GLOBAL PROPERTY VELTRANE_RESOURCE_FILES)
  set(dir "${VELTRANE_VST_OUTPUT_DIR}/${name}.resources")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}")
  foreach(file IN LISTS files)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${PROJECT_SOURCE_DIR}/resources/${file}"
              "${dir}/${file}")
  endforeach()
  install(DIRECTORY "${dir}" DESTINATION ${VELTRANE_VST_DIR})
endfunction()
