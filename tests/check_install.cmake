# Installs the build into a fresh prefix and checks the files that land there, and that each man page names
# every option its program's --help lists.
# Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<scratch folder> -DCONTROL=<vantrel-control> -DCLI=<vantrel-cli> -P ...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    bin/vantrel-cli
    bin/vantrel-control
    lib/systemd/system/vantrel-bridge@.service
    lib/udev/rules.d/60-vantrel-ftdi.rules
    share/applications/org.vantrel.Control.desktop
    share/icons/hicolor/128x128/apps/org.vantrel.Control.png
    share/icons/hicolor/16x16/apps/org.vantrel.Control.png
    share/icons/hicolor/256x256/apps/org.vantrel.Control.png
    share/icons/hicolor/32x32/apps/org.vantrel.Control.png
    share/icons/hicolor/64x64/apps/org.vantrel.Control.png
    share/man/man1/vantrel-cli.1
    share/man/man1/vantrel-control.1
    share/metainfo/org.vantrel.Control.metainfo.xml)
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
    list(JOIN installed "\n  " got)
    message(FATAL_ERROR "Installed files differ from the expected list:\n  ${got}")
endif()

foreach(program control cli)
    if(program STREQUAL control)
        set(binary "${CONTROL}")
    else()
        set(binary "${CLI}")
    endif()
    execute_process(COMMAND "${binary}" --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
    file(READ "${PREFIX}/share/man/man1/vantrel-${program}.1" page)
    string(REGEX MATCHALL "--[a-z][a-z-]*" options "${help}")
    list(REMOVE_DUPLICATES options)
    foreach(option ${options})
        string(REPLACE "-" "\\-" escaped "${option}")
        string(FIND "${page}" "${escaped}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "vantrel-${program}.1 does not mention ${option}")
        endif()
    endforeach()
endforeach()
message(STATUS "installed files and man pages as expected")
