# Runs an example and checks it both ends well and says what it should:
#   cmake -DPROGRAM=<exe> [-DARGS=a;b] -DEXPECT=<regex>;<regex> -P run_example.cmake
execute_process(COMMAND ${PROGRAM} ${ARGS}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
message("${out}${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with ${status}")
endif()
foreach(expected IN LISTS EXPECT)
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "${PROGRAM} did not print a line matching: ${expected}")
  endif()
endforeach()
