# How the logic modules are built: each one may include only the platform interface, never the
# headers of the libraries behind it. The folder forbidden-includes stands in front of the
# system's X11, V4L2, udev and D-Bus headers with headers that stop the compiler; Qt's headers
# are not on these modules' include path at all.

set(LUMISIGHT_FORBIDDEN_INCLUDES ${CMAKE_CURRENT_LIST_DIR}/forbidden-includes)

function(lumisight_forbid_platform_headers target)
    target_include_directories(${target} BEFORE PRIVATE ${LUMISIGHT_FORBIDDEN_INCLUDES})
endfunction()

# lumisight_logic_module(<target> <folder>...): a static library of the folders' sources
# (app/main.cpp, the program's entry, excepted).
function(lumisight_logic_module target)
    set(sources)
    foreach(folder ${ARGN})
        file(GLOB folder_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
        list(APPEND sources ${folder_sources})
    endforeach()
    list(FILTER sources EXCLUDE REGEX "/app/main\\.cpp$")
    add_library(${target} STATIC ${sources})
    lumisight_forbid_platform_headers(${target})
    target_link_libraries(${target} PUBLIC lumisight_platform)
endfunction()
