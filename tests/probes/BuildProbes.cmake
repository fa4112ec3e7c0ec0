# Builds the Free Pascal probes into OUTPUT_DIR with the i386-win32 cross compiler that
# tools/fpc-win32.sh makes (once, cached under BINARY_DIR). Quiet unless something fails.
#   cmake -DSOURCE_DIR=<repo> -DBINARY_DIR=<build> -DOUTPUT_DIR=<dir> -P BuildProbes.cmake
execute_process(COMMAND sh ${SOURCE_DIR}/tools/fpc-win32.sh ${BINARY_DIR}
  OUTPUT_VARIABLE fpc RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tools/fpc-win32.sh failed")
endif()
get_filename_component(cache ${fpc} DIRECTORY)
set(probes ${SOURCE_DIR}/tests/probes)
file(MAKE_DIRECTORY ${OUTPUT_DIR}/units)
foreach(probe ProbeFramework ProbeModule ProbeAccount ProbePush ProbeFaulty)
  # -n: no configuration file; -vw -Sew: warnings shown and treated as errors.
  execute_process(COMMAND ${fpc} -n -Twin32 -Pi386 -O2 -vw -Sew
      -Fu${cache}/fpcsrc/rtl/units/i386-win32 -Fu${probes} -FU${OUTPUT_DIR}/units -FE${OUTPUT_DIR}
      ${probes}/${probe}.lpr
    OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${probe}.lpr did not compile:\n${output}")
  endif()
endforeach()
