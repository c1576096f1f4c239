# Fails when PROGRAM's import table names one of the DLLs in LOAD_ON_FIRST_USE: the loader
# would then load it at start, which the delay-load libraries of windows.cmake are there to
# avoid. Run after the link:
#   cmake -DOBJDUMP=... -DPROGRAM=... "-DLOAD_ON_FIRST_USE=USER32.dll;SHELL32.dll" -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed: ${result}")
endif()
# The import table proper: its DLL names, in any letter case.
string(FIND "${dump}" "The Import Tables" start)
if(start LESS 0)
  return()
endif()
string(SUBSTRING "${dump}" ${start} -1 imports)
string(TOUPPER "${imports}" imports)
foreach(dll ${LOAD_ON_FIRST_USE})
  string(TOUPPER "${dll}" name)
  string(FIND "${imports}" "DLL NAME: ${name}\n" found)
  if(found GREATER_EQUAL 0)
    message(FATAL_ERROR
            "${PROGRAM} imports ${dll} at start: a function of it is missing from "
            "cmake/delayload/*.def, so the linker took it from the default import library")
  endif()
endforeach()
