# Warning flags every target of ours carries.
function(qm_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# qm_library(name [STATIC] SOURCES ... [LINK ...]): a library of one layer.
function(qm_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINK;PUBLIC_LINK" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_LINK} PUBLIC ${ARG_PUBLIC_LINK})
    qm_warnings(${name})
endfunction()

# qm_add_test(name SOURCES ... LINK ... [QT]): one GoogleTest executable registered with
# CTest. QT tests run on the offscreen platform.
function(qm_add_test name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES;LINK" ${ARGN})
    find_package(GTest REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE QM_TESTDATA_DIR="${QM_TESTDATA_DIR}")
    qm_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    # Text layout loads fontconfig without any window too, and its caches live as long as
    # the process.
    set(environment "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan-suppressions.txt")
    if(ARG_QT)
        set(environment "QT_QPA_PLATFORM=offscreen;${environment}")
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${environment}")
endfunction()
