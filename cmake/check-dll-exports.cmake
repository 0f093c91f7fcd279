# Checks a Windows DLL's tables with objdump -p: the export table must name
# exactly the symbols of EXPORTS (undecorated, as GetProcAddress finds
# them), and every imported DLL must be a system DLL, so the library needs no
# runtime DLL of the compiler beside it.
#
#   cmake -DOBJDUMP=... -DDLL=... -DEXPORTS=a;b -P check-dll-exports.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP DLL EXPORTS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump ERROR_VARIABLE dump_error
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed (${status}): ${dump_error}")
endif()

string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")

# Names follow the "[Ordinal/Name Pointer] Table" heading, one a line, until
# the first empty line.
set(exported "")
set(in_names FALSE)
set(imported "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names)
    if(line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    else()
      set(in_names FALSE)
    endif()
  endif()
  if(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" name)
    list(APPEND imported "${name}")
  endif()
endforeach()

list(SORT exported)
set(expected ${EXPORTS})
list(SORT expected)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "${DLL} exports [${exported}], expected exactly [${expected}]")
endif()

set(system_dlls kernel32.dll msvcrt.dll user32.dll advapi32.dll ntdll.dll ws2_32.dll
                shell32.dll ole32.dll bcrypt.dll psapi.dll)
if(NOT imported)
  message(FATAL_ERROR "${DLL} has no import table: the dump was not understood")
endif()
foreach(name IN LISTS imported)
  if(NOT name IN_LIST system_dlls)
    message(FATAL_ERROR "${DLL} imports ${name}, which is not a system DLL")
  endif()
endforeach()
message(STATUS "${DLL}: exports [${exported}], imports [${imported}]")
