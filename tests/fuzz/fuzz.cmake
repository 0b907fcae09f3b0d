# Coverage-guided fuzzers (libFuzzer) of the platform-free code: body
# decoding, the text primitives, marker cutting and escape decoding. Built
# only with clang and CX_FUZZ=ON. The libraries they link must carry the
# same instrumentation, so the whole tree is configured with it:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCX_FUZZ=ON \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo \
#     -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined"
# (scripts/fuzz.sh does exactly that). Each fuzzer is also a CTest test that
# runs for CX_FUZZ_SECONDS over a copy of its seed corpus in the build tree.
option(CX_FUZZ "build the libFuzzer targets (clang only)" OFF)
set(CX_FUZZ_SECONDS 20 CACHE STRING "seconds each fuzzer runs as a CTest test")

if(CX_FUZZ AND NOT CX_WINDOWS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  if(NOT CMAKE_CXX_FLAGS MATCHES "fuzzer-no-link")
    message(WARNING "CX_FUZZ: CMAKE_CXX_FLAGS lacks -fsanitize=fuzzer-no-link,address,undefined; "
                    "the libraries are then not instrumented and the fuzzers run blind")
  endif()
  set(cx_fuzz_sanitizers -fsanitize=fuzzer,address,undefined)
  set(cx_fuzzers
    fuzz_decode_body:cx_webdecode
    fuzz_text:cx_core
    fuzz_cutting:cx_app
    fuzz_escape:cx_escape)
  foreach(entry ${cx_fuzzers})
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 lib)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    target_compile_options(${name} PRIVATE ${cx_fuzz_sanitizers} -fno-omit-frame-pointer)
    target_link_options(${name} PRIVATE ${cx_fuzz_sanitizers})
    target_link_libraries(${name} PRIVATE ${lib})
    # A fresh copy of the seeds for every run: what the fuzzer adds stays in
    # the build tree.
    set(work ${CMAKE_CURRENT_BINARY_DIR}/work/${name})
    add_test(NAME ${name}
      COMMAND ${CMAKE_COMMAND}
        -DFUZZER=$<TARGET_FILE:${name}> -DSEEDS=${CMAKE_CURRENT_LIST_DIR}/corpus/${name}
        -DWORK=${work} -DSECONDS=${CX_FUZZ_SECONDS}
        -P ${CMAKE_CURRENT_LIST_DIR}/tools/run_fuzzer.cmake)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS fuzz)
  endforeach()
endif()
