# How the program's modules are built so that their layering holds by itself:
#
#   app/                      the top: start-up, the window's record and its handlers
#   capture/ pictures/ ui/    below it; pictures/ uses capture/, ui/ uses pictures/
#   resources/                the window's layout
#   platform/                 the bottom: interfaces, and their Linux implementation
#
# Each module is a static library that sees only its own folder and the folders it uses: its
# include path holds a folder of links to exactly those (a "view" of the tree), so including a
# header of any other module fails to build. The logic modules also never see the headers of
# the libraries behind the platform: the folder forbidden-includes stands in front of the
# system's X11, V4L2, udev and D-Bus headers with headers that stop the compiler, and Qt's
# headers are not on their include path at all.

set(LUMISIGHT_FORBIDDEN_INCLUDES ${CMAKE_CURRENT_LIST_DIR}/forbidden-includes)
set(LUMISIGHT_VIEWS ${CMAKE_BINARY_DIR}/module-views)

# lumisight_module_view(<view> <folder>...): the folder of links through which a module sees
# the source tree.
function(lumisight_module_view view)
    set(dir ${LUMISIGHT_VIEWS}/${view})
    file(REMOVE_RECURSE ${dir})
    file(MAKE_DIRECTORY ${dir})
    foreach(folder ${ARGN})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
    endforeach()
endfunction()

function(lumisight_forbid_platform_headers target)
    target_include_directories(${target} BEFORE PRIVATE ${LUMISIGHT_FORBIDDEN_INCLUDES})
endfunction()

# lumisight_logic_module(<module> [USES <module>...]): the library lumisight_<module> of
# <module>/*.cpp (app/main.cpp, the program's entry, excepted), seeing <module>, the modules it
# uses, resources/ and platform/'s interface.
function(lumisight_logic_module module)
    cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
    lumisight_module_view(${module} ${module} ${ARG_USES} resources platform)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${module}/*.cpp)
    list(FILTER sources EXCLUDE REGEX "/app/main\\.cpp$")
    add_library(lumisight_${module} STATIC ${sources})
    lumisight_forbid_platform_headers(lumisight_${module})
    target_include_directories(lumisight_${module} BEFORE PRIVATE ${LUMISIGHT_VIEWS}/${module})
    target_link_libraries(lumisight_${module} PUBLIC lumisight_layout lumisight_platform)
    foreach(used ${ARG_USES})
        target_link_libraries(lumisight_${module} PUBLIC lumisight_${used})
    endforeach()
endfunction()
