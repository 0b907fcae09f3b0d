# The shipped images themselves: kind, machine, imports.
if(CX_WINDOWS AND TARGET Clipdex AND TARGET updata)
  add_test(NAME program_files
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_program_file.sh $<TARGET_FILE:Clipdex> $<TARGET_FILE:updata>)
endif()
