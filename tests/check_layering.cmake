# Fails when a file includes a layer it must not know:
#  - state, device, session and files include nothing from windows, app or cli, and no widget header;
#  - a folder under windows includes nothing from another folder under windows.
# Run as: cmake -DSOURCE_DIR=<src> -P check_layering.cmake
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(violations "")

# Adds "file: line" to `violations` for every include under `folder` that matches `pattern`, unless the folder
# named by the pattern's first group is `allowed`.
function(forbid folder pattern allowed)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(source ${sources})
        file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
        foreach(line ${includes})
            if(line MATCHES "${pattern}" AND NOT CMAKE_MATCH_1 STREQUAL allowed)
                file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
                list(APPEND violations "${where}: ${line}")
            endif()
        endforeach()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

foreach(layer state device session files)
    forbid(${layer} "[\"<](windows|app|cli)/" "")
    forbid(${layer} "[\"<](QtWidgets|QWidget|QApplication|QMainWindow)[/\">]" "")
endforeach()

file(GLOB windowFolders LIST_DIRECTORIES true "${SOURCE_DIR}/windows/*")
foreach(folder ${windowFolders})
    if(IS_DIRECTORY "${folder}")
        get_filename_component(own "${folder}" NAME)
        forbid(windows/${own} "[\"<]windows/([A-Za-z0-9_]+)/" ${own})
    endif()
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Forbidden includes:\n  ${text}")
endif()
message(STATUS "layering: no forbidden include")
