# Build-wide options, warnings and sanitizers.

if(WIN32)
    set(GS_WINDOWS ON)
else()
    set(GS_WINDOWS OFF)
endif()

option(GS_BUILD_TESTS "Build the tests" ON)
option(GS_BUILD_BENCHMARKS "Build the benchmarks (Linux)" ON)
option(GS_BUILD_FUZZERS "Build the libFuzzer targets (needs clang)" OFF)
set(GS_SANITIZE "" CACHE STRING "Sanitizers to build with: address, undefined, thread")

if(GS_WINDOWS OR CMAKE_CROSSCOMPILING)
    set(GS_BUILD_BENCHMARKS OFF)
endif()

add_compile_options(-Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wshadow=local)
    # GCC 12 reports false positives for these on fixed-size buffers in optimised builds.
    add_compile_options(-Wno-stringop-overflow -Wno-array-bounds)
endif()

if(GS_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR GS_WINDOWS)
        message(FATAL_ERROR "GS_BUILD_FUZZERS needs clang on Linux (the linux-fuzz preset)")
    endif()
    # Coverage feedback for libFuzzer from every library the targets link.
    add_compile_options(-fsanitize=fuzzer-no-link)
    add_link_options(-fsanitize=fuzzer-no-link)
endif()

if(GS_SANITIZE)
    string(REPLACE ";" "," _gs_sanitizers "${GS_SANITIZE}")
    add_compile_options(-fsanitize=${_gs_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_gs_sanitizers})
endif()

if(GS_WINDOWS)
    # Self-contained DLLs and programs: only system DLLs are imported.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Adds a GoogleTest program. On Linux each case becomes a CTest test; on Windows the whole program
# is one test run through the cross-compiling emulator (wine64), since discovery would start wine
# at build time.
function(gs_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock GTest::gtest_main)
    # Tests of code run from several threads: the ThreadSanitizer build makes only these
    # (gs_threaded_tests) and runs them (the linux-tsan test preset filters on the label).
    if("threads" IN_LIST ARG_LABELS AND TARGET gs_threaded_tests)
        add_dependencies(gs_threaded_tests ${name})
    endif()
    if(GS_WINDOWS)
        add_test(NAME ${name} COMMAND ${name})
        if(ARG_LABELS)
            set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
        endif()
    else()
        include(GoogleTest)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
