# cmake -P portable.cmake: lays out the portable folder of the Windows
# programs, with every DLL and Qt plugin they load and nothing else, and
# writes the installer's lists of those files.
#   FOLDER     the folder to make (emptied first)
#   PROGRAMS   the .exe files and the chart module (kuaidi-chart.dll)
#   SDK        the Windows SDK (bin/ holds the DLLs, plugins/ Qt's plugins)
#   OBJDUMP    x86_64-w64-mingw32-objdump, which reads what a DLL imports
#   SOURCE     the source tree (sample sheets, notices)
#   QM         Qt's Chinese translation (qtbase_zh_CN.qm), or empty
#   NSH        the prefix of the installer's two lists (…-install.nsh, …-uninstall.nsh)
cmake_minimum_required(VERSION 3.25)

# The plugins Qt loads for these programs: the Windows platform and its
# native style. (Pictures are PNG, which Qt reads itself; the database is
# SQLite through its own library, and no server driver is in the SDK.)
set(plugins platforms/qwindows.dll styles/qwindowsvistastyle.dll)

file(REMOVE_RECURSE "${FOLDER}")
file(MAKE_DIRECTORY "${FOLDER}")
file(COPY ${PROGRAMS} DESTINATION "${FOLDER}")
set(modules)
foreach(plugin IN LISTS plugins)
    get_filename_component(subfolder "${plugin}" DIRECTORY)
    file(COPY "${SDK}/plugins/${plugin}" DESTINATION "${FOLDER}/plugins/${subfolder}")
    list(APPEND modules "${SDK}/plugins/${plugin}")
endforeach()

# What each program and plugin imports, and what those import in turn, read
# with objdump and looked up in the SDK without regard to case, as Windows
# does. (file(GET_RUNTIME_DEPENDENCIES) minds the case on a Linux host.)
file(GLOB available "${SDK}/bin/*.dll")
foreach(path IN LISTS available)
    get_filename_component(name "${path}" NAME)
    string(TOLOWER "${name}" name)
    set("dll_${name}" "${path}")
endforeach()
set(found)
set(queue ${PROGRAMS} ${modules})
while(queue)
    list(POP_FRONT queue file)
    execute_process(COMMAND "${OBJDUMP}" -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} cannot read ${file}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" name "${import}")
        string(STRIP "${name}" name)
        string(TOLOWER "${name}" name)
        if(DEFINED "dll_${name}")
            if(NOT "${dll_${name}}" IN_LIST found)
                list(APPEND found "${dll_${name}}")
                list(APPEND queue "${dll_${name}}")
            endif()
        elseif(name MATCHES "^(qt6|lib|zlib|sqlite)")
            # Ours, yet not in the SDK: the folder would not start.
            message(FATAL_ERROR "${file} needs ${name}, which is not in ${SDK}/bin")
        endif()
        # Anything else is Windows' own.
    endforeach()
endwhile()
file(COPY ${found} DESTINATION "${FOLDER}")

# Qt's own dialogs in Chinese, found through qt.conf beside the programs.
file(WRITE "${FOLDER}/qt.conf" "[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n")
if(QM)
    file(COPY "${QM}" DESTINATION "${FOLDER}/translations")
endif()
file(COPY "${SOURCE}/samples/圆通快递.csv" "${SOURCE}/samples/中通快递.csv" DESTINATION "${FOLDER}/samples")

# The installer puts exactly these files, and its uninstaller takes exactly
# these away: whatever else is in the folder (a database kept beside the
# program) stays.
file(GLOB_RECURSE files RELATIVE "${FOLDER}" "${FOLDER}/*")
list(SORT files)
set(install "")
set(uninstall "")
set(folders "")
set(outPath "-")
foreach(file IN LISTS files)
    string(REPLACE "/" "\\" windows "${file}")
    get_filename_component(subfolder "${file}" DIRECTORY)
    if(NOT subfolder STREQUAL outPath)
        set(outPath "${subfolder}")
        string(REPLACE "/" "\\" windowsFolder "${subfolder}")
        if(subfolder)
            string(APPEND install "SetOutPath \"$INSTDIR\\${windowsFolder}\"\n")
        else()
            string(APPEND install "SetOutPath \"$INSTDIR\"\n")
        endif()
    endif()
    string(APPEND install "File \"${FOLDER}/${file}\"\n")
    string(APPEND uninstall "Delete \"$INSTDIR\\${windows}\"\n")
    while(subfolder)
        string(REPLACE "/" "\\" windowsFolder "${subfolder}")
        list(APPEND folders "${windowsFolder}")
        get_filename_component(subfolder "${subfolder}" DIRECTORY)
    endwhile()
endforeach()
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING) # inner folders first
foreach(folder IN LISTS folders)
    string(APPEND uninstall "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
string(APPEND install "SetOutPath \"$INSTDIR\"\n")
file(WRITE "${NSH}-install.nsh" "${install}")
file(WRITE "${NSH}-uninstall.nsh" "${uninstall}")
list(LENGTH files count)
message(STATUS "${FOLDER}: ${count} files")
