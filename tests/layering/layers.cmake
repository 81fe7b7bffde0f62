# The layers of src/: for each folder, the folders its sources may include from with
# #include "...", besides its own. Included by the top-level CMakeLists, which gives each library
# an include root holding only these folders; run as a script, the check that every source keeps
# to the table:
#   cmake -DSOURCE_DIR=<repository> -P tests/layering/layers.cmake
# Every layer may use platform/, the only operating-system-specific code.
set(VANTLE_LAYERS lib/runtime lib/utils platform archive config usage history outputs poll crash ui
    shell)
set(VANTLE_LAYER_lib/runtime "")
set(VANTLE_LAYER_lib/utils lib/runtime platform)
set(VANTLE_LAYER_platform "")
set(VANTLE_LAYER_archive lib/runtime lib/utils platform)
# The status page travels inside the program as an archive.
set(VANTLE_LAYER_config lib/runtime lib/utils platform archive)
set(VANTLE_LAYER_usage lib/runtime lib/utils platform config)
# The usage history keeps the model's figures; the poll writes it, the windows read its files.
set(VANTLE_LAYER_history lib/runtime lib/utils platform config usage)
set(VANTLE_LAYER_outputs lib/runtime lib/utils platform config usage)
set(VANTLE_LAYER_poll lib/runtime lib/utils platform config usage history outputs)
set(VANTLE_LAYER_crash lib/runtime lib/utils platform)
set(VANTLE_LAYER_ui lib/runtime lib/utils platform archive config usage history outputs)
set(VANTLE_LAYER_shell lib/runtime lib/utils platform archive config usage history outputs poll crash
    ui)
# The folders that never include Qt: the core, and the crash reports, which must work whatever
# state the GUI is in.
set(VANTLE_QT_FREE lib/runtime lib/utils platform archive config usage history crash)

if(NOT CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    return()
endif()

cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<repository> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
set(src ${SOURCE_DIR}/src)

# The layer a file under src/ belongs to; empty when none.
function(layer_of path result)
    set(found "")
    foreach(layer IN LISTS VANTLE_LAYERS)
        string(FIND "${path}/" "${src}/${layer}/" at)
        if(at EQUAL 0)
            set(found ${layer})
        endif()
    endforeach()
    set(${result} "${found}" PARENT_SCOPE)
endfunction()

set(faults 0)
file(GLOB_RECURSE sources LIST_DIRECTORIES false ${src}/*.h ${src}/*.cpp)
foreach(file IN LISTS sources)
    file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
    layer_of(${file} layer)
    if(layer STREQUAL "")
        message("${shown}: in a folder the layer table does not know")
        math(EXPR faults "${faults} + 1")
        continue()
    endif()
    file(READ ${file} text)
    string(REGEX MATCHALL "(^|\n)[ \t]*#[ \t]*include[ \t]*[\"<][^\">\n]+[\">]" includes "${text}")
    cmake_path(GET file PARENT_PATH folder)
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^\n?[ \t]*#[ \t]*include[ \t]*" "" named "${line}")
        string(SUBSTRING "${named}" 0 1 bracket)
        string(REGEX REPLACE "^[\"<](.*)[\">]$" "\\1" name "${named}")
        if(bracket STREQUAL "<")
            if(layer IN_LIST VANTLE_QT_FREE AND name MATCHES "^Qt?[A-Z]")
                message("${shown}: includes <${name}>: ${layer}/ never includes Qt")
                math(EXPR faults "${faults} + 1")
            endif()
            continue()
        endif()
        # As the compiler looks: beside the file first, then from src/.
        if(EXISTS ${folder}/${name})
            cmake_path(ABSOLUTE_PATH name BASE_DIRECTORY ${folder} NORMALIZE OUTPUT_VARIABLE target)
        elseif(EXISTS ${src}/${name})
            cmake_path(ABSOLUTE_PATH name BASE_DIRECTORY ${src} NORMALIZE OUTPUT_VARIABLE target)
        else()
            message("${shown}: includes \"${name}\", which is no file of src/")
            math(EXPR faults "${faults} + 1")
            continue()
        endif()
        layer_of(${target} used)
        if(used STREQUAL layer OR used IN_LIST VANTLE_LAYER_${layer})
            continue()
        endif()
        set(allowed ${VANTLE_LAYER_${layer}})
        list(JOIN allowed ", " allowed)
        if(allowed STREQUAL "")
            set(allowed "nothing of the project")
        endif()
        message("${shown}: includes \"${name}\" of ${used}/, but ${layer}/ may include only "
                "its own folder and: ${allowed}")
        math(EXPR faults "${faults} + 1")
    endforeach()
endforeach()

list(LENGTH sources files)
if(faults GREATER 0)
    message(FATAL_ERROR "${faults} include(s) break the layering of src/")
endif()
message("The includes of ${files} files under src/ keep to the layering")
