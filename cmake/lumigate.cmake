# The project's target functions. Every target of the project links lumigate_warnings, so
# warnings are errors everywhere and the flags are written once.

add_library(lumigate_warnings INTERFACE)
target_compile_options(lumigate_warnings INTERFACE -Wall -Wextra -Werror)

# lumigate_library(NAME SOURCES...): a static library of this project.
function(lumigate_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE lumigate_warnings)
endfunction()

# lumigate_executable(NAME [WIN32] SOURCES... LIBS ...): a program of this project that is
# neither a test nor a fuzz target (tools, benchmarks, test drivers and fixtures).
function(lumigate_executable name)
    cmake_parse_arguments(E "WIN32" "" "LIBS" ${ARGN})
    set(kind "")
    if(E_WIN32)
        set(kind WIN32)
    endif()
    add_executable(${name} ${kind} ${E_UNPARSED_ARGUMENTS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE lumigate_warnings ${E_LIBS})
endfunction()

# lumigate_test(NAME SOURCES... LIBS ... [WRAPPED]): a GoogleTest program registered with
# CTest; on the Windows build CTest starts it through Wine. WRAPPED programs are registered
# by their caller instead (behind tests/servers/with_servers.sh, which starts the test
# servers on 127.0.0.1 and routes each test to its server by the caller's explicit list).
function(lumigate_test name)
    if(LUMIGATE_HOST_TOOLS OR LUMIGATE_LIBFUZZER)
        return()
    endif()
    cmake_parse_arguments(T "WRAPPED" "" "LIBS" ${ARGN})
    lumigate_executable(${name} ${T_UNPARSED_ARGUMENTS} LIBS ${T_LIBS} GTest::gtest_main)
    if(NOT T_WRAPPED)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    endif()
endfunction()

# lumigate_fuzz(NAME SOURCES... LIBS ... CORPUS DIR): a fuzz target (LLVMFuzzerTestOneInput)
# with its corpus folder (seeds, and in `regressions/` every input that once failed). In the
# sanitizer build it is linked with a replay driver that runs the corpus and a fixed series
# of generated inputs, so every test run exercises it; with LUMIGATE_LIBFUZZER it is linked
# with libFuzzer and listed for scripts/fuzz.sh.
function(lumigate_fuzz name)
    if(LUMIGATE_HOST_TOOLS)
        return()
    endif()
    cmake_parse_arguments(F "" "CORPUS" "LIBS" ${ARGN})
    if(NOT F_CORPUS)
        message(FATAL_ERROR "fuzz target ${name} has no CORPUS folder")
    endif()
    if(LUMIGATE_LIBFUZZER)
        lumigate_executable(${name} ${F_UNPARSED_ARGUMENTS} LIBS ${F_LIBS})
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set_property(GLOBAL APPEND PROPERTY LUMIGATE_FUZZ_TARGETS "${name}|${F_CORPUS}")
        return()
    endif()
    lumigate_executable(${name} ${F_UNPARSED_ARGUMENTS} ${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp
        LIBS ${F_LIBS})
    add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
endfunction()
