# normlevel.html: the same program inside one page that needs no server and no
# network. The engine is linked a second time as a module the page starts
# afresh for every run (its main with argv, its files in memory, its
# standard streams caught byte for byte), and the wasm is embedded because a
# page opened from disk may not fetch a file beside it.
add_executable(normlevel_page src/program.cpp)
target_link_libraries(normlevel_page PRIVATE normlevel_core)
target_link_options(normlevel_page PRIVATE -fexceptions -sSINGLE_FILE=1 -sMODULARIZE=1
                    -sEXPORT_NAME=createNormlevel -sENVIRONMENT=web -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
                    -sALLOW_MEMORY_GROWTH=1 "-sEXPORTED_RUNTIME_METHODS=['FS']")

set(normlevel_page_template "${PROJECT_SOURCE_DIR}/web/normlevel.html")
add_custom_command(
  OUTPUT "${PROJECT_BINARY_DIR}/normlevel.html"
  COMMAND "${CMAKE_COMMAND}" -DTEMPLATE=${normlevel_page_template} -DENGINE=$<TARGET_FILE:normlevel_page>
          -DOUTPUT=${PROJECT_BINARY_DIR}/normlevel.html -P "${PROJECT_SOURCE_DIR}/cmake/inline_engine.cmake"
  DEPENDS normlevel_page "${normlevel_page_template}" "${PROJECT_SOURCE_DIR}/cmake/inline_engine.cmake"
  COMMENT "Putting the engine into normlevel.html")
add_custom_target(normlevel_html ALL DEPENDS "${PROJECT_BINARY_DIR}/normlevel.html")
install(FILES "${PROJECT_BINARY_DIR}/normlevel.html" DESTINATION ${normlevel_doc_dir})
