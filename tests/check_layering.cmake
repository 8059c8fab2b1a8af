# Fails when a file includes a layer it must not know.
#
# The layers, lowest first. Each builds on the layers named after its colon, all of them listed before it; an
# include of any other layer (its own rank, a higher one, or a lower one it does not build on) is forbidden. Every
# folder of src/ must be listed. Below the windows, no header of Qt's widget or GUI modules is included: the lower
# layers run headless. No include climbs out of its folder ("../"): every include names its layer. Within windows/, a window's folder includes no other window's folder, and the files shared
# by every window include none.
cmake_minimum_required(VERSION 3.25)
set(layers
    "state:"
    "device:"
    "session:device"
    "records:session,device"
    "replay:records,session,device"
    "files:device"
    "plans:records,files,session,device"
    "alarms:plans,records,files,session,device"
    "network:alarms,records,session,device"
    "host:alarms,plans,records,files,session,device"
    "windows:host,state,alarms,plans,replay,records,files,session,device"
    "cli:host,alarms,plans,network,replay,records,files,session,device"
    "app:windows,host,state,alarms,plans,network,replay,records,files,session,device"
)
set(guiLayers windows app)

# Run as: cmake -DSOURCE_DIR=<src> -DGUI_INCLUDE_DIRS=<QtGui dir;QtWidgets dir> -P check_layering.cmake
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
if(NOT GUI_INCLUDE_DIRS)
    message(FATAL_ERROR "GUI_INCLUDE_DIRS is not set (the QtGui and QtWidgets include folders)")
endif()

set(names "")
foreach(row ${layers})
    string(REGEX REPLACE ":.*" "" name "${row}")
    list(APPEND names ${name})
endforeach()

# The headers of the GUI modules, by the names an include uses (<QPushButton>, <qpushbutton.h>, <QtWidgets/...>).
set(guiHeaders "")
foreach(dir ${GUI_INCLUDE_DIRS})
    file(GLOB headers RELATIVE "${dir}" "${dir}/*")
    list(APPEND guiHeaders ${headers})
endforeach()
if(NOT guiHeaders)
    message(FATAL_ERROR "no headers found in ${GUI_INCLUDE_DIRS}")
endif()

set(violations "")

function(check_file source own allowed gui)
    file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
        if(line MATCHES "[\"<][^\">]*\\.\\./")
            list(APPEND violations "${where}: ${line} (an include names its layer, never ../)")
        elseif(line MATCHES "[\"<]([A-Za-z0-9_]+)/")
            set(layer "${CMAKE_MATCH_1}")
            if(layer IN_LIST names AND NOT layer STREQUAL own AND NOT layer IN_LIST allowed)
                list(APPEND violations "${where}: ${line}")
            endif()
            if(NOT gui AND layer MATCHES "^Qt(Gui|Widgets)$")
                list(APPEND violations "${where}: ${line}")
            endif()
        elseif(NOT gui AND line MATCHES "[<\"]([A-Za-z0-9_.]+)[>\"]")
            if(CMAKE_MATCH_1 IN_LIST guiHeaders)
                list(APPEND violations "${where}: ${line}")
            endif()
        endif()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

foreach(row ${layers})
    string(REGEX REPLACE ":.*" "" own "${row}")
    string(REGEX REPLACE "^[^:]*:" "" deps "${row}")
    string(REPLACE "," ";" allowed "${deps}")
    set(gui FALSE)
    if(own IN_LIST guiLayers)
        set(gui TRUE)
    endif()
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${own}/*.h" "${SOURCE_DIR}/${own}/*.cpp")
    foreach(source ${sources})
        check_file("${source}" "${own}" "${allowed}" ${gui})
    endforeach()
endforeach()

file(GLOB folders LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
foreach(folder ${folders})
    if(IS_DIRECTORY "${SOURCE_DIR}/${folder}" AND NOT folder IN_LIST names)
        list(APPEND violations "${folder}/: a folder in no layer (add it to the list of layers)")
    endif()
endforeach()

# Windows know one another only through the workspace.
function(forbid_window_folders sources own)
    foreach(source ${sources})
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${includes})
            if(line MATCHES "[\"<]windows/([A-Za-z0-9_]+)/" AND NOT CMAKE_MATCH_1 STREQUAL own)
                file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
                list(APPEND violations "${where}: ${line}")
            endif()
        endforeach()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()
file(GLOB windowFolders LIST_DIRECTORIES true "${SOURCE_DIR}/windows/*")
foreach(folder ${windowFolders})
    if(IS_DIRECTORY "${folder}")
        get_filename_component(own "${folder}" NAME)
        file(GLOB_RECURSE sources "${folder}/*.h" "${folder}/*.cpp")
        forbid_window_folders("${sources}" "${own}")
    endif()
endforeach()
file(GLOB sharedWindowFiles "${SOURCE_DIR}/windows/*.h" "${SOURCE_DIR}/windows/*.cpp")
forbid_window_folders("${sharedWindowFiles}" "")

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Forbidden includes:\n  ${text}")
endif()
message(STATUS "layering: no forbidden include")
