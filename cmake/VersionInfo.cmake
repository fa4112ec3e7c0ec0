# appframe_version_resource(TARGET VERSION DESCRIPTION PRODUCT FILE_NAME TYPE): a version resource
# for a Win32 binary. VERSION is the "FileVersion" text as written (it may have fewer or more than
# four parts; the numeric version takes the first four numbers found, missing ones 0). TYPE is
# VFT_APP or VFT_DLL.
function(appframe_version_resource target version description product file_name type)
  string(REGEX MATCHALL "[0-9]+" numbers "${version}")
  list(APPEND numbers 0 0 0 0)
  list(SUBLIST numbers 0 4 numbers)
  string(REPLACE ";" "," VI_FILE_COMMAS "${numbers}")
  set(VI_FILE_VERSION "${version}")
  set(VI_DESCRIPTION "${description}")
  set(VI_PRODUCT "${product}")
  set(VI_NAME "${target}")
  set(VI_FILE_NAME "${file_name}")
  set(VI_FILE_TYPE "${type}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# appframe_manifest_resource(TARGET VERSION DESCRIPTION): the application manifest
# (cmake/AppFrameMain.manifest.in) as the executable's manifest resource; the assembly version is
# VERSION's first four numbers.
function(appframe_manifest_resource target version description)
  string(REGEX MATCHALL "[0-9]+" numbers "${version}")
  list(APPEND numbers 0 0 0 0)
  list(SUBLIST numbers 0 4 numbers)
  string(REPLACE ";" "." MANIFEST_VERSION "${numbers}")
  set(MANIFEST_DESCRIPTION "${description}")
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/AppFrameMain.manifest.in ${manifest} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
  # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
  file(WRITE ${rc} "1 24 \"${manifest}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
endfunction()
