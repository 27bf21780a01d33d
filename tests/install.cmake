# Installs the build into a scratch prefix and checks that every file a desktop needs is there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
    RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/kalvion share/applications/${ID}.desktop share/metainfo/${ID}.metainfo.xml
        share/icons/hicolor/256x256/apps/${ID}.png)
    if(NOT EXISTS ${PREFIX}/${path})
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
