# gs_embed_resources(<target> <rc-file> [DEPENDS <generated files>...] [INCLUDE_DIRECTORIES <dirs>...])
#
# Gives <target> the resources of a Windows resource script. On Windows the script is compiled by
# the resource compiler (windres) as it stands. Elsewhere gs-resource-table turns it into a C++
# source that carries the same resources as an ELF note, which the platform's FindResourceA reads.
# Files named in the script are looked up beside the script, then in the INCLUDE_DIRECTORIES, the
# folders of the DEPENDS files, the current binary folder and the top binary folder. DEPENDS names
# files that other build steps generate, so that the resources are rebuilt when they change.
function(gs_embed_resources target rc_file)
    cmake_parse_arguments(ARG "" "" "DEPENDS;INCLUDE_DIRECTORIES" ${ARGN})
    get_filename_component(rc_path ${rc_file} ABSOLUTE)
    set(search_dirs ${ARG_INCLUDE_DIRECTORIES})
    foreach(dependency ${ARG_DEPENDS})
        get_filename_component(dependency_path ${dependency} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_BINARY_DIR})
        get_filename_component(dependency_dir ${dependency_path} DIRECTORY)
        list(APPEND search_dirs ${dependency_dir})
    endforeach()
    list(APPEND search_dirs ${CMAKE_CURRENT_BINARY_DIR} ${CMAKE_BINARY_DIR})
    list(REMOVE_DUPLICATES search_dirs)

    if(GS_WINDOWS)
        target_sources(${target} PRIVATE ${rc_path})
        target_include_directories(${target} PRIVATE ${search_dirs})
        if(ARG_DEPENDS)
            set_property(SOURCE ${rc_path} APPEND PROPERTY OBJECT_DEPENDS ${ARG_DEPENDS})
        endif()
        return()
    endif()

    get_filename_component(rc_name ${rc_file} NAME_WE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_${rc_name}_resources.cpp)
    set(include_arguments)
    foreach(dir ${search_dirs})
        list(APPEND include_arguments -I ${dir})
    endforeach()
    add_custom_command(
        OUTPUT ${output}
        COMMAND gs-resource-table ${rc_path} -o ${output} ${include_arguments} --depfile ${output}.d
        DEPENDS gs-resource-table ${rc_path} ${ARG_DEPENDS}
        DEPFILE ${output}.d
        COMMENT "Embedding the resources of ${rc_file} in ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${output})
endfunction()
