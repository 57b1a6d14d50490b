# Executables that carry their own debug information, and dbghelp beside a program. Used by
# the Windows build only; LUMIGATE_VEX_BUILDER is the host-built container builder.

# lumigate_symbolized_executable(NAME [WIN32] [TEST] [STRIP] SOURCES... LIBS ... LINK_OPTIONS ...):
# an exe that carries its own debug information. It is linked once (NAME_unsymbolized,
# kept with its DWARF), the container builder reads that image's DWARF lines and symbols
# into NAME.vex beside it, and the second link adds the container as the resource
# "EXCEPT" of type "VEX". Resources follow the code, so the code must not move; the build
# checks that it did not. STRIP then drops the DWARF and the symbol table from NAME,
# which the container makes unnecessary. A TEST is linked with GoogleTest and registered
# with CTest.
function(lumigate_symbolized_executable name)
    cmake_parse_arguments(E "WIN32;TEST;STRIP" "" "LIBS;LINK_OPTIONS" ${ARGN})
    set(kind "")
    if(E_WIN32)
        set(kind WIN32)
    endif()
    set(libs ${E_LIBS})
    if(E_TEST)
        list(APPEND libs GTest::gtest_main)
    endif()
    add_library(${name}_objects OBJECT ${E_UNPARSED_ARGUMENTS})
    target_include_directories(${name}_objects PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name}_objects PRIVATE lumigate_warnings ${libs})
    set(vex ${CMAKE_CURRENT_BINARY_DIR}/${name}.vex)
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_symbols.rc)
    file(WRITE ${rc} "EXCEPT VEX \"${vex}\"\n")
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${vex})
    foreach(stage ${name}_unsymbolized ${name})
        if(stage STREQUAL name)
            add_executable(${stage} ${kind} $<TARGET_OBJECTS:${name}_objects> ${rc})
        else()
            add_executable(${stage} ${kind} $<TARGET_OBJECTS:${name}_objects>)
        endif()
        target_link_libraries(${stage} PRIVATE lumigate_warnings ${libs})
        target_link_options(${stage} PRIVATE ${E_LINK_OPTIONS})
    endforeach()
    add_custom_command(OUTPUT ${vex}
        COMMAND ${LUMIGATE_WITH_EPOCH} ${LUMIGATE_VEX_BUILDER} build $<TARGET_FILE:${name}_unsymbolized> ${vex}
        # The builder's file as well: a target name alone orders the builds but does not
        # write the container again when the builder changed.
        DEPENDS ${name}_unsymbolized host_tools ${LUMIGATE_VEX_BUILDER}
        COMMENT "Writing the debug information of ${name}")
    set(strip "")
    if(E_STRIP)
        set(strip COMMAND ${LUMIGATE_WITH_EPOCH} ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${name}>)
    endif()
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${LUMIGATE_VEX_BUILDER} same-code $<TARGET_FILE:${name}_unsymbolized> $<TARGET_FILE:${name}>
        ${strip})
    if(E_TEST)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    endif()
endfunction()

# lumigate_copy_dbghelp(TARGET): Wine's dbghelp.dll beside the program, the only place the
# reporter loads it from.
find_file(LUMIGATE_WINE_DBGHELP dbghelp.dll PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
    /usr/lib/wine/i386-windows NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
function(lumigate_copy_dbghelp target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${LUMIGATE_WINE_DBGHELP} $<TARGET_FILE_DIR:${target}>)
endfunction()
