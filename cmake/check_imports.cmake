# Checks what the engine and the programs bind: no library or program references a call that
# Windows 95 or NT 3.51 lacks (GetFileAttributesEx, CopyFileEx, MoveFileEx, EncryptFile,
# DecryptFile, ANSI or wide) as an import, so that both programs start there; such calls are bound
# at run time by name. kestrel-nt's engine holds the encryption names for that binding, and
# kestrel's engine and program hold neither name anywhere (so that the check itself is known to
# see them, kestrel-nt's must).
#   cmake -DNM=… -DLIB=… -DLIB_NT=… [-DOBJDUMP=… -DPROGRAM=… -DPROGRAM_NT=… -DSHIPPED=… -DSHIPPED_NT=…] -P check_imports.cmake
set(LATE GetFileAttributesExA GetFileAttributesExW CopyFileExA CopyFileExW MoveFileExA MoveFileExW
    EncryptFileA EncryptFileW DecryptFileA DecryptFileW)

function(listing out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${rc}): ${err}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# None of the late-bound names among the references (undefined symbols or imports) in `text`.
function(expect_unbound what text)
  foreach(name ${LATE})
    string(REGEX MATCH "[^A-Za-z0-9_]_?_?(imp_)?_?${name}[^A-Za-z0-9_]" at "${text}")
    if(at)
      message(FATAL_ERROR "${what} imports ${name}, which Windows 95 or NT 3.51 lacks")
    endif()
  endforeach()
  message(STATUS "${what}: no call bound at load time that an old platform lacks")
endfunction()

# The encryption names as bytes anywhere in the file: present in kestrel-nt's, absent in kestrel's.
function(expect_names what file present)
  file(STRINGS ${file} found REGEX "(Encrypt|Decrypt)File")
  if(present AND NOT found MATCHES "EncryptFileW" OR present AND NOT found MATCHES "DecryptFileW")
    message(FATAL_ERROR "${what} does not hold EncryptFileW and DecryptFileW: the check cannot see them")
  elseif(NOT present AND found)
    message(FATAL_ERROR "${what} holds ${found}, which kestrel must not")
  endif()
  message(STATUS "${what}: encryption names as expected")
endfunction()

listing(plain ${NM} -u -C ${LIB})
expect_unbound("kestrel's engine library ${LIB}" " ${plain} ")
expect_names("kestrel's engine library ${LIB}" ${LIB} FALSE)
listing(nt ${NM} -u -C ${LIB_NT})
expect_unbound("kestrel-nt's engine library ${LIB_NT}" " ${nt} ")
expect_names("kestrel-nt's engine library ${LIB_NT}" ${LIB_NT} TRUE)

# Import tables of the programs.
if(PROGRAM)
  foreach(program ${PROGRAM} ${PROGRAM_NT} ${SHIPPED} ${SHIPPED_NT})
    listing(imports ${OBJDUMP} -p ${program})
    expect_unbound("program ${program}" " ${imports} ")
  endforeach()
  expect_names("program ${PROGRAM}" ${PROGRAM} FALSE)
  expect_names("program ${PROGRAM_NT}" ${PROGRAM_NT} TRUE)
  expect_names("program ${SHIPPED}" ${SHIPPED} FALSE)
  expect_names("program ${SHIPPED_NT}" ${SHIPPED_NT} TRUE)
endif()
