# The layering check itself, on trees of one planted file each: every wrong arrow fails it, and a right one passes.
# Run as: cmake -DCHECK=<check_layering.cmake> -DGUI_INCLUDE_DIRS=<...> -DWORK_DIR=<dir> -P check_layering_cases.cmake
cmake_minimum_required(VERSION 3.25)
set(cases
    # file                          included                        must fail
    "session/planted.cpp|\"network/bridge.h\"|1"
    "device/planted.cpp|\"plans/plan_run.h\"|1"
    "records/planted.h|\"network/mqtt_client.h\"|1"
    "plans/planted.cpp|\"network/bridge.h\"|1"
    "state/planted.h|\"session/board_session.h\"|1"
    "cli/planted.cpp|\"state/app_state.h\"|1"
    "session/planted.cpp|<QPushButton>|1"
    "host/planted.cpp|<QtWidgets/QWidget>|1"
    "host/planted.cpp|\"windows/workspace.h\"|1"
    "windows/trend/planted.cpp|\"windows/communications/log_view.h\"|1"
    "windows/planted.h|\"windows/trend/form_trend.h\"|1"
    "sideline/planted.cpp|\"device/driver.h\"|1"
    "device/planted.cpp|\"replay/replay_driver.h\"|1"
    "replay/planted.cpp|\"host/board_host.h\"|1"
    "replay/planted.cpp|\"records/journal_seek.h\"|0"
    "session/planted.cpp|\"../network/bridge.h\"|1"
    "records/planted.cpp|\"QPushButton\"|1"
    "session/planted.cpp|\"device/driver.h\"|0"
    "windows/trend/planted.cpp|\"windows/child_window.h\"|0"
    "cli/planted.cpp|\"host/board_host.h\"|0"
    "app/planted.cpp|<QPushButton>|0"
)
set(failures "")
set(index 0)
foreach(case ${cases})
    string(REPLACE "|" ";" fields "${case}")
    list(GET fields 0 file)
    list(GET fields 1 included)
    list(GET fields 2 mustFail)
    math(EXPR index "${index} + 1")
    set(tree "${WORK_DIR}/case${index}")
    file(REMOVE_RECURSE "${tree}")
    file(WRITE "${tree}/${file}" "#include ${included}\n")
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} "-DGUI_INCLUDE_DIRS=${GUI_INCLUDE_DIRS}" -P ${CHECK}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(mustFail AND result EQUAL 0)
        list(APPEND failures "${file} including ${included} passed the check")
    elseif(NOT mustFail AND NOT result EQUAL 0)
        list(APPEND failures "${file} including ${included} failed the check")
    endif()
    file(REMOVE_RECURSE "${tree}")
endforeach()
if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "The layering check is wrong:\n  ${text}")
endif()
message(STATUS "layering check: ${index} cases as they must be")
