# The Python that has pyserial, the reference RFC 2217 client the network port is checked
# and measured against: the first python3 on the path that imports it (a version manager's
# python3 may come first and lack it). QUILLON_PYSERIAL_PYTHON is NOTFOUND when none does.
function(quillon_imports_pyserial result candidate)
  execute_process(COMMAND ${candidate} -c "import serial.rfc2217"
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  if(failed)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
find_program(QUILLON_PYSERIAL_PYTHON NAMES python3 VALIDATOR quillon_imports_pyserial)
