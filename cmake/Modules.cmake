# How the program's modules are built so that their layering holds by itself:
#
#   app/                      the top: start-up, the window's record and its handlers
#   capture/ pictures/ ui/    below it; pictures/ uses capture/, ui/ uses pictures/
#   resources/                the window's layout
#   platform/                 the bottom: the interfaces to the window, the camera, the desktop
#                             and the buses, in plain C++ (and the diagnostic log)
#
#   linux/window/             the Qt window layer          }  the Linux implementation of
#   linux/v4l2/               V4L2 capture                 }  platform/, one library per
#   linux/emulated_camera/    the emulated V4L2 camera     }  concern; each sees platform/
#   linux/desktop/            session bus, logind, udev,   }  and what it uses (the emulated
#                             X11 window search, xdg       }  camera the V4L2 seam), no more
#
# The program's entry, app/main.cpp, alone sees both sides and joins them.
#
# Each module is a static library that sees only its own folder and the folders it uses: its
# include path holds a folder of links to exactly those (a "view" of the tree), so including a
# header of any other module fails to build. The libraries behind the platform are kept out the
# same way: cmake/forbidden-includes holds, per family (x11, dbus, udev, v4l2), headers that stand
# in front of the system's own and stop the compiler, and a library sees those of every family it
# must not use. Qt's headers are on the include path of the Qt libraries alone; for those that must
# not speak D-Bus, stand-ins for Qt's own D-Bus headers are made at configure time (qtdbus).

set(LUMISIGHT_FORBIDDEN_INCLUDES ${CMAKE_CURRENT_LIST_DIR}/forbidden-includes)
set(LUMISIGHT_VIEWS ${CMAKE_BINARY_DIR}/module-views)

# Qt's D-Bus headers are within reach of every library that uses Qt (<QtDBus/...> under Qt's
# include root), so the stand-ins for them are made from the installed headers.
set(LUMISIGHT_FORBIDDEN_QTDBUS ${CMAKE_BINARY_DIR}/forbidden-includes/qtdbus)
get_target_property(qtdbus_dirs Qt6::DBus INTERFACE_INCLUDE_DIRECTORIES)
foreach(dir ${qtdbus_dirs})
    if(dir MATCHES "/QtDBus$")
        file(GLOB qtdbus_headers LIST_DIRECTORIES false RELATIVE ${dir} ${dir}/*)
        foreach(header ${qtdbus_headers})
            file(CONFIGURE OUTPUT ${LUMISIGHT_FORBIDDEN_QTDBUS}/QtDBus/${header}
                CONTENT "// Stands in front of Qt's own header for the libraries that must not use D-Bus.\n#error \"QtDBus/${header}: D-Bus is for linux/desktop only\"\n")
        endforeach()
    endif()
endforeach()

# lumisight_module_view(<view> <folder>...): the folder of links through which a module sees
# the source tree. A folder may be nested (linux/v4l2).
function(lumisight_module_view view)
    set(dir ${LUMISIGHT_VIEWS}/${view})
    file(REMOVE_RECURSE ${dir})
    file(MAKE_DIRECTORY ${dir})
    foreach(folder ${ARGN})
        get_filename_component(parent ${dir}/${folder} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
    endforeach()
endfunction()

# lumisight_forbid_headers(<target> <family>...): the target cannot include the headers of
# these families: x11, dbus (libdbus), udev, v4l2, qtdbus (Qt's D-Bus module).
function(lumisight_forbid_headers target)
    foreach(family ${ARGN})
        if(family STREQUAL "qtdbus")
            target_include_directories(${target} BEFORE PRIVATE ${LUMISIGHT_FORBIDDEN_QTDBUS})
        else()
            target_include_directories(${target} BEFORE PRIVATE
                ${LUMISIGHT_FORBIDDEN_INCLUDES}/${family})
        endif()
    endforeach()
endfunction()

# What the logic and the program's entry never include: they see the platform's interface.
function(lumisight_forbid_platform_headers target)
    lumisight_forbid_headers(${target} x11 dbus udev v4l2)
endfunction()

# lumisight_precompile_headers(<target> [QT]): in the sanitizer builds, which build every
# library again, the standard library's most used headers (and Qt's, for a library that uses
# Qt) are compiled once for the target instead of once for each of its files. The optimised
# build reads them as usual.
function(lumisight_precompile_headers target)
    if(NOT LUMISIGHT_SANITIZE)
        return()
    endif()
    set(headers <algorithm> <array> <atomic> <chrono> <cstdint> <cstring> <functional>
        <memory> <mutex> <optional> <span> <string> <thread> <vector>)
    if("QT" IN_LIST ARGN)
        list(APPEND headers <QImage> <QWidget>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# lumisight_logic_module(<module> [USES <module>...]): the library lumisight_<module> of the
# .cpp files of <module> and its subfolders (app/main.cpp, the program's entry, excepted),
# seeing <module>, the modules it uses, resources/ and platform/'s interface.
function(lumisight_logic_module module)
    cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
    lumisight_module_view(${module} ${module} ${ARG_USES} resources platform)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${module}/*.cpp
        ${CMAKE_SOURCE_DIR}/${module}/*/*.cpp)
    list(FILTER sources EXCLUDE REGEX "/app/main\\.cpp$")
    add_library(lumisight_${module} STATIC ${sources})
    lumisight_precompile_headers(lumisight_${module})
    lumisight_forbid_platform_headers(lumisight_${module})
    target_include_directories(lumisight_${module} BEFORE PRIVATE ${LUMISIGHT_VIEWS}/${module})
    target_link_libraries(lumisight_${module} PUBLIC lumisight_layout lumisight_platform)
    foreach(used ${ARG_USES})
        target_link_libraries(lumisight_${module} PUBLIC lumisight_${used})
    endforeach()
endfunction()

# lumisight_linux_library(<concern> [QT] [USES <concern>...] [FORBID <family>...]): the
# library lumisight_linux_<concern> of linux/<concern>/*.cpp, seeing platform/, its own folder
# and the concerns it uses, and none of the header families named. The caller links the system
# libraries it is built on (QT: Qt's widgets, whose headers it then also precompiles).
function(lumisight_linux_library concern)
    cmake_parse_arguments(ARG "QT" "" "USES;FORBID" ${ARGN})
    set(folders platform linux/${concern})
    foreach(used ${ARG_USES})
        list(APPEND folders linux/${used})
    endforeach()
    lumisight_module_view(linux_${concern} ${folders})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/linux/${concern}/*.cpp)
    add_library(lumisight_linux_${concern} STATIC ${sources})
    if(ARG_QT)
        lumisight_precompile_headers(lumisight_linux_${concern} QT)
    else()
        lumisight_precompile_headers(lumisight_linux_${concern})
    endif()
    lumisight_forbid_headers(lumisight_linux_${concern} ${ARG_FORBID})
    target_include_directories(lumisight_linux_${concern} BEFORE PRIVATE
        ${LUMISIGHT_VIEWS}/linux_${concern})
    target_link_libraries(lumisight_linux_${concern} PUBLIC lumisight_platform)
    foreach(used ${ARG_USES})
        target_link_libraries(lumisight_linux_${concern} PUBLIC lumisight_linux_${used})
    endforeach()
endfunction()
