# libFuzzer targets of the codecs, each run for a bounded time by CTest
# (about 90 s for all of them) from the public suites as seeds. New inputs go to a corpus
# folder in the build tree, never into the suites.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(GIF REQUIRED)

set(QM_FUZZ_CODEC_SECONDS 20 CACHE STRING "Seconds each codec fuzz target runs under CTest")

# qm_codec_fuzzer(name source seconds seed-folders...)
function(qm_codec_fuzzer name source seconds)
    add_executable(${name} ${source} fuzzbitmap.h)
    target_link_libraries(${name} PRIVATE qm_imagelib)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    qm_warnings(${name})
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus-${name})
    file(MAKE_DIRECTORY ${corpus})
    set(seeds)
    foreach(folder IN LISTS ARGN)
        if(IS_ABSOLUTE "${folder}" AND EXISTS "${folder}")
            list(APPEND seeds ${folder})
        elseif(EXISTS "${QM_TESTDATA_DIR}/${folder}")
            list(APPEND seeds ${QM_TESTDATA_DIR}/${folder})
        endif()
    endforeach()
    add_test(NAME ${name}
             COMMAND ${name} -max_total_time=${seconds} -max_len=65536 -timeout=10
                     -rss_limit_mb=4096 -print_final_stats=1 ${corpus} ${seeds})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300 ENVIRONMENT
        "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan-suppressions.txt")
endfunction()

qm_codec_fuzzer(qm_fuzz_jpegdecoder fuzz_jpegdecoder.cpp ${QM_FUZZ_CODEC_SECONDS} jpeg)
qm_codec_fuzzer(qm_fuzz_pngdecoder fuzz_pngdecoder.cpp ${QM_FUZZ_CODEC_SECONDS} pngsuite)
qm_codec_fuzzer(qm_fuzz_gifdecoder fuzz_gifdecoder.cpp ${QM_FUZZ_CODEC_SECONDS} gif)
qm_codec_fuzzer(qm_fuzz_roundtrip fuzz_roundtrip.cpp ${QM_FUZZ_CODEC_SECONDS}
                jpeg/exiftool pngsuite gif/pygif-test-suite)
qm_codec_fuzzer(qm_fuzz_jpeglossless fuzz_jpeglossless.cpp ${QM_FUZZ_CODEC_SECONDS} jpeg)
qm_codec_fuzzer(qm_fuzz_jpegdc fuzz_jpegdc.cpp ${QM_FUZZ_CODEC_SECONDS} jpeg)

# The decoders over libheif, libwebp and libtiff start from small files that the formats' own
# tools make at configure time (the public suites hold none of these formats).
set(QM_FUZZ_NEW_CODEC_SECONDS 15 CACHE STRING "Seconds each HEIF, WebP and TIFF fuzz target runs")
set(new_seeds ${CMAKE_CURRENT_BINARY_DIR}/seeds)
execute_process(COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/make-seeds.sh ${new_seeds})
qm_codec_fuzzer(qm_fuzz_heifdecoder fuzz_heifdecoder.cpp ${QM_FUZZ_NEW_CODEC_SECONDS}
                ${new_seeds}/heif)
qm_codec_fuzzer(qm_fuzz_webpdecoder fuzz_webpdecoder.cpp ${QM_FUZZ_NEW_CODEC_SECONDS}
                ${new_seeds}/webp)
qm_codec_fuzzer(qm_fuzz_tiffdecoder fuzz_tiffdecoder.cpp ${QM_FUZZ_NEW_CODEC_SECONDS}
                ${new_seeds}/tiff)
