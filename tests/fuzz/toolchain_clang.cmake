# clang has no GBK execution character set (-fexec-charset=GBK is g++ only):
# natively, every compile step of a clang build goes through a launcher that
# turns the UTF-8 literals into the GBK bytes g++ would make. This fragment
# comes last in the tree (after fuzz.cmake, in the last folder), when every
# target exists.
if(NOT CX_WINDOWS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  set(cx_gbk_launcher ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/clang_gbk.py)
  function(cx_gbk_launch_targets dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
        get_target_property(have ${t} CXX_COMPILER_LAUNCHER)
        if(NOT have)
          set_target_properties(${t} PROPERTIES CXX_COMPILER_LAUNCHER "${cx_gbk_launcher}"
                                                C_COMPILER_LAUNCHER "${cx_gbk_launcher}")
        endif()
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(d ${subdirs})
      cx_gbk_launch_targets(${d})
    endforeach()
  endfunction()
  cx_gbk_launch_targets(${CMAKE_SOURCE_DIR})
endif()
