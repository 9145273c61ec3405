# Fails when a file of src/ includes a header of a layer above its own, or
# calls SDL outside the platform layer, engine/. The layers, from the
# bottom: engine (the platform: the only code that calls SDL)
# and the types every layer shares, config, graphics, world (the map, below
# the player, below the enemy and the objects), screens and program. The one arrow the design
# draws upward, the manager declared in engine/ building the two screens, is
# no include: its definition is compiled with the screens.
# Run as: cmake -DKCS_SOURCE_DIR=<source> -DKCS_STAMP=<file> -P CheckLayers.cmake
set(ranks engine=0 config=1 graphics=2 world/level=3 world/player=4 world/enemy=5 world/objects=5
    screens=6
    program=7)

# The rank of a path under src/ ("world/player/Kalvorn.h"), or -1 for a path
# of no layer (a system header).
function(layer_rank path result)
    set(rank -1)
    foreach(entry ${ranks})
        string(REPLACE "=" ";" pair ${entry})
        list(GET pair 0 folder)
        list(GET pair 1 value)
        string(FIND "${path}" "${folder}/" at)
        if(at EQUAL 0)
            set(rank ${value})
        endif()
    endforeach()
    set(${result} ${rank} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${KCS_SOURCE_DIR}/src ${KCS_SOURCE_DIR}/src/*.h
     ${KCS_SOURCE_DIR}/src/*.cpp)
set(upward "")
foreach(file ${files})
    layer_rank(${file} own)
    if(own EQUAL -1)
        string(APPEND upward "\n  src/${file}: in no layer's folder")
        continue()
    endif()
    file(STRINGS ${KCS_SOURCE_DIR}/src/${file} includes REGEX "^#include \"")
    foreach(line ${includes})
        string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
        layer_rank(${header} rank)
        if(rank GREATER own)
            string(APPEND upward "\n  src/${file} includes ${header}, of a higher layer")
        endif()
    endforeach()
    # Other layers name SDL's types and key constants, and draw through the
    # engine.
    if(NOT own EQUAL 0)
        file(STRINGS ${KCS_SOURCE_DIR}/src/${file} calls REGEX "(SDL|Mix)_[A-Z][a-zA-Z]*\\(")
        foreach(line ${calls})
            string(STRIP "${line}" line)
            string(APPEND upward "\n  src/${file} calls SDL outside engine/: ${line}")
        endforeach()
    endif()
endforeach()
if(upward)
    message(FATAL_ERROR "A layer may include only its own and lower layers, and only engine/ "
                        "calls SDL:${upward}")
endif()
file(TOUCH ${KCS_STAMP})
