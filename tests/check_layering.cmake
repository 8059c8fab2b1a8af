# Fails when a file includes a layer it must not know. The layers, lowest first:
#   state, device -> session -> records, files -> plans, network -> windows -> app;  cli beside windows, on
#   session, records, plans and network.
# Rules:
#  - state, device, session, records, files and plans include nothing from windows, app or cli, and no widget header;
#  - device includes neither session nor files; files does not include session;
#  - session, records and plans reach no global: they include nothing from state (the window program's record);
#  - cli includes neither windows nor app;
#  - nothing below app (windows included) includes app;
#  - a folder under windows includes nothing from another folder under windows, and the headers directly in
#    windows/ (shared by every view) include no view's folder.
# Run as: cmake -DSOURCE_DIR=<src> -P check_layering.cmake
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(violations "")

# Adds "file: line" to `violations` for every include in `sources` that matches `pattern`, unless the folder
# named by the pattern's first group is `allowed`.
function(forbid_in sources pattern allowed)
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

function(forbid folder pattern allowed)
    file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    forbid_in("${sources}" "${pattern}" "${allowed}")
    set(violations "${violations}" PARENT_SCOPE)
endfunction()

foreach(layer state device session records files plans network)
    forbid(${layer} "[\"<](windows|app|cli)/" "")
    forbid(${layer} "[\"<](QtWidgets|QWidget|QApplication|QMainWindow)[/\">]" "")
endforeach()
forbid(device "[\"<](session|files|records)/" "")
forbid(files "[\"<](session|records)/" "")
forbid(session "[\"<](state|records)/" "")
forbid(records "[\"<](state)/" "")
forbid(plans "[\"<](state)/" "")
forbid(network "[\"<](state|plans|files)/" "")
forbid(cli "[\"<](windows|app)/" "")
forbid(windows "[\"<](app)/" "")

file(GLOB windowFolders LIST_DIRECTORIES true "${SOURCE_DIR}/windows/*")
foreach(folder ${windowFolders})
    if(IS_DIRECTORY "${folder}")
        get_filename_component(own "${folder}" NAME)
        forbid(windows/${own} "[\"<]windows/([A-Za-z0-9_]+)/" ${own})
    endif()
endforeach()
file(GLOB sharedWindowFiles "${SOURCE_DIR}/windows/*.h" "${SOURCE_DIR}/windows/*.cpp")
forbid_in("${sharedWindowFiles}" "[\"<]windows/([A-Za-z0-9_]+)/" "")

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "Forbidden includes:\n  ${text}")
endif()
message(STATUS "layering: no forbidden include")
