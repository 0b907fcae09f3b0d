# Reads the export and import tables of the built updater library:
#   cmake -DDLL=Updata.dll -DOBJDUMP=<the tree's objdump> -P check_exports.cmake
# The single export must carry the GBK bytes of 更新窗口 undecorated, and the
# library must need nothing but system libraries.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_FILE ${DLL}.headers.txt RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
file(SIZE ${DLL} size)
message(STATUS "Updata.dll: ${size} bytes")
file(READ ${DLL}.headers.txt hex HEX)
file(READ ${DLL}.headers.txt text)

# "[   0] " followed by the name and the end of the line; no second entry.
string(FIND "${hex}" "5b202020305d20b8fcd0c2b4b0bfda0a" at)
if(at EQUAL -1)
  message(FATAL_ERROR "export 0 is not named B8 FC D0 C2 B4 B0 BF DA")
endif()
if(text MATCHES "\n[ \t]*\\[ +1\\] ")
  message(FATAL_ERROR "more than one export")
endif()
if(NOT text MATCHES "Export Address Table[ \t]+00000001")
  message(FATAL_ERROR "the export address table does not hold exactly one entry")
endif()
if(text MATCHES "@8")
  message(FATAL_ERROR "a decorated name is exported")
endif()
string(TOLOWER "${text}" lower)
foreach(runtime msvcrt libstdc++ libgcc_s libwinpthread ucrtbase api-ms-win-crt)
  string(FIND "${lower}" "dll name: ${runtime}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "the library imports ${runtime}")
  endif()
endforeach()
