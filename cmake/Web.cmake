# The web build: the game alone (no tools, tests or data build), compiled by
# emscripten against its own SDL 1.2, which the engine's platform code
# completes where it falls short. The page's files go to KCS_WEB_OUT: the
# page, its script and WebAssembly (kcs.js, kcs.wasm), and the data folder
# KCS_WEB_DATA packed as kcs.data with its loader kcs-data.js, which the
# native tools have built first (make web).
set(KCS_WEB_DATA "" CACHE PATH "The data folder the page plays (built by the native tools)")
set(KCS_WEB_OUT "${CMAKE_BINARY_DIR}/site" CACHE PATH "Where the page's files are written")
# A folder not made yet is the native build's, still at work (make test
# compiles the game beside it): the game alone can be built until it is
# there, and the build configures itself again when its files appear. make
# web checks a designer's folder before it comes here.
if(KCS_WEB_DATA STREQUAL "")
    message(FATAL_ERROR "KCS_WEB_DATA must name a data folder with a stageselect.ini")
elseif(NOT EXISTS "${KCS_WEB_DATA}/stageselect.ini")
    message(STATUS "${KCS_WEB_DATA} holds no stageselect.ini yet: only the game can be built")
endif()

add_executable(kcs src/program/main.cpp)
target_link_libraries(kcs PRIVATE kcs_program)
# The game's loop is the native one, blocking: ASYNCIFY lets its waits give
# the browser its turn (docs/PERFORMANCE.md has what that costs). Its stack
# holds the frame loop's locals while the game waits.
target_link_options(kcs PRIVATE
    -fexceptions
    -sASYNCIFY=1
    -sASYNCIFY_STACK_SIZE=65536
    "-sASYNCIFY_IMPORTS=['SDL_Delay','emscripten_sleep']"
    -sALLOW_MEMORY_GROWTH=1
    -sFORCE_FILESYSTEM=1
    -sENVIRONMENT=web
    "-sEXPORTED_RUNTIME_METHODS=['FS']")
set_target_properties(kcs PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY "${KCS_WEB_OUT}")

# The data, packed apart from the game: another data folder packs again
# without building the game again.
file(GLOB_RECURSE KCS_WEB_DATA_FILES CONFIGURE_DEPENDS "${KCS_WEB_DATA}/*")
# Rewritten only when the folder changes, so that another folder whose files
# are all older than the last pack is packed all the same.
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/web-data-folder.txt" CONTENT "${KCS_WEB_DATA}\n")
add_custom_command(
    OUTPUT "${KCS_WEB_OUT}/kcs.data" "${KCS_WEB_OUT}/kcs-data.js"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${KCS_WEB_OUT}"
    COMMAND python3 "${EMSCRIPTEN_ROOT_PATH}/tools/file_packager.py" kcs.data
            --preload "${KCS_WEB_DATA}@/data" --js-output=kcs-data.js
    WORKING_DIRECTORY "${KCS_WEB_OUT}"
    DEPENDS ${KCS_WEB_DATA_FILES} "${CMAKE_BINARY_DIR}/web-data-folder.txt"
    COMMENT "Packing ${KCS_WEB_DATA} for the page"
    VERBATIM)
add_custom_command(
    OUTPUT "${KCS_WEB_OUT}/index.html"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/web/index.html"
            "${KCS_WEB_OUT}/index.html"
    DEPENDS "${CMAKE_SOURCE_DIR}/web/index.html"
    VERBATIM)
add_custom_target(web_page ALL DEPENDS "${KCS_WEB_OUT}/kcs.data" "${KCS_WEB_OUT}/index.html")
