# Installs a build into a scratch DESTDIR with a package's prefix and checks that a desktop and
# Debian's tools find there what they look for.
file(REMOVE_RECURSE "${WORK_DIR}")
set(ENV{DESTDIR} "${WORK_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix /usr
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}\n${errors}")
endif()

set(root "${WORK_DIR}/usr")
foreach(file bin/velmoran-lite bin/kestrelix-sim share/doc/velmoran-lite/copyright
        share/applications/com.velmoran.VelmoranLite.desktop lib/sysusers.d/velmoran-lite.conf
        share/icons/hicolor/64x64/apps/velmoran-lite.png lib/udev/rules.d/60-velmoran-lite.rules
        share/icons/hicolor/scalable/apps/velmoran-lite.svg
        share/metainfo/com.velmoran.VelmoranLite.metainfo.xml
        share/man/man1/velmoran-lite.1.gz share/man/man1/kestrelix-sim.1.gz
        lib/systemd/system/velmoran-recorder@.service)
    if(NOT EXISTS "${root}/${file}")
        message(FATAL_ERROR "nothing installed at ${root}/${file}")
    endif()
endforeach()
file(STRINGS "${root}/share/applications/com.velmoran.VelmoranLite.desktop" entry)
foreach(line "[Desktop Entry]" "Type=Application" "Exec=velmoran-lite" "Icon=velmoran-lite")
    list(FIND entry "${line}" found)
    if(found LESS 0)
        message(FATAL_ERROR "the desktop entry lacks the line '${line}'")
    endif()
endforeach()

# The installed simulator runs from where it was put: no dependence on the build tree.
execute_process(COMMAND "${root}/bin/kestrelix-sim" --help
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0 OR NOT output MATCHES "--discovery")
    message(FATAL_ERROR "the installed kestrelix-sim --help failed (${result}):\n${output}${errors}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
