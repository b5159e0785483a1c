# Checks that kestrel's engine has no file encryption: neither its library nor a program linked
# with it references EncryptFileA or DecryptFileA, while kestrel-nt's does (so that the check
# itself is known to see them).
#   cmake -DNM=… -DLIB=… -DLIB_NT=… [-DOBJDUMP=… -DPROGRAM=… -DPROGRAM_NT=…] -P check_imports.cmake
set(NAMES EncryptFileA DecryptFileA)

function(listing out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(expect what text present)
  foreach(name ${NAMES})
    string(FIND "${text}" "${name}" at)
    if(present AND at EQUAL -1)
      message(FATAL_ERROR "${what} does not reference ${name}: the check cannot see it")
    elseif(NOT present AND NOT at EQUAL -1)
      message(FATAL_ERROR "${what} references ${name}, which kestrel must not")
    endif()
  endforeach()
  message(STATUS "${what}: as expected")
endfunction()

# Undefined symbols of the libraries (C++ names demangled for the simulated platform).
listing(plain ${NM} -u -C ${LIB})
expect("kestrel's engine library ${LIB}" "${plain}" FALSE)
listing(nt ${NM} -u -C ${LIB_NT})
expect("kestrel-nt's engine library ${LIB_NT}" "${nt}" TRUE)

# Import tables of the programs.
if(PROGRAM)
  listing(plain ${OBJDUMP} -p ${PROGRAM})
  expect("program ${PROGRAM}" "${plain}" FALSE)
  listing(nt ${OBJDUMP} -p ${PROGRAM_NT})
  expect("program ${PROGRAM_NT}" "${nt}" TRUE)
endif()
