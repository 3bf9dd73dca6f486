# In a cross build, tools/ is built as a separate project with the build machine's own compiler,
# and each tool is offered to the main build as an imported executable named host::<tool>.
include(ExternalProject)

set(GS_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(GS_HOST_TOOLS gs-psasm)

set(_gs_host_tool_paths "")
foreach(tool ${GS_HOST_TOOLS})
    list(APPEND _gs_host_tool_paths ${GS_HOST_TOOLS_DIR}/${tool})
endforeach()

ExternalProject_Add(gs_host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools
    BINARY_DIR ${GS_HOST_TOOLS_DIR}
    CMAKE_ARGS
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_C_COMPILER=cc
        -DCMAKE_CXX_COMPILER=c++
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_gs_host_tool_paths}
)

foreach(tool ${GS_HOST_TOOLS})
    add_executable(host::${tool} IMPORTED GLOBAL)
    set_target_properties(host::${tool} PROPERTIES IMPORTED_LOCATION ${GS_HOST_TOOLS_DIR}/${tool})
    add_dependencies(host::${tool} gs_host_tools)
endforeach()
