# cmake -DLUPDATE=... -DFOLDERS=a;b -DTS_FILES=x.ts;y.ts -DWORK_DIR=... -P CheckTranslations.cmake
# Runs lupdate over the program's folders into a copy of each translation file and fails when
# the copy holds an unfinished message: a marked text the translation does not have yet.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
if(NOT TS_FILES)
    message(FATAL_ERROR "No translation files given")
endif()
set(failures)
foreach(ts IN LISTS TS_FILES)
    get_filename_component(name ${ts} NAME)
    set(copy ${WORK_DIR}/${name})
    file(COPY_FILE ${ts} ${copy})
    execute_process(
        COMMAND ${LUPDATE} -silent -extensions cpp,h -locations none -no-obsolete ${FOLDERS}
                -ts ${copy}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${name}")
    endif()
    file(STRINGS ${copy} unfinished REGEX "type=\"unfinished\"")
    list(LENGTH unfinished count)
    if(count GREATER 0)
        list(APPEND failures "${name}: ${count} untranslated text(s); run the sorvane_lupdate target and translate them")
    endif()
endforeach()
if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "Translations incomplete:\n  ${text}")
endif()
