# hushmaker.html: the run in WebAssembly, in a worker, inside one page that
# holds all of its code and styles, so that it works from a disk,
# a mail or any static host with no network at all.
add_executable(hushmaker_web src/driver/main_web.cpp)
target_link_libraries(hushmaker_web PRIVATE hushdriver)
target_compile_options(hushcore PUBLIC -fwasm-exceptions)
target_link_options(hushmaker_web PRIVATE
  -fwasm-exceptions
  # A worker's module, made on demand; the page hands it the WebAssembly
  # (written into the page), so that nothing is ever fetched.
  -sENVIRONMENT=worker -sMODULARIZE=1 -sEXPORT_NAME=createHushmaker
  # The movie and its silent copy stay in the page's Blobs; the module
  # only needs room for the index and one piece at a time.
  -sFILESYSTEM=0 -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB
  -sEXPORTED_FUNCTIONS=_hush_silence,_malloc,_free -sEXPORTED_RUNTIME_METHODS=stringToUTF8,lengthBytesUTF8
  --js-library ${CMAKE_CURRENT_SOURCE_DIR}/web/file_bridge.js)
set_property(TARGET hushmaker_web APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/web/file_bridge.js)

set(HUSH_PAGE_PARTS web/page.html web/page.css web/page.js web/worker.js web/crc32.js web/zip.js web/build_page.mjs)
list(TRANSFORM HUSH_PAGE_PARTS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
add_custom_command(OUTPUT hushmaker.html
  COMMAND node ${CMAKE_CURRENT_SOURCE_DIR}/web/build_page.mjs ${CMAKE_CURRENT_SOURCE_DIR}/web
    $<TARGET_FILE:hushmaker_web> $<TARGET_FILE_DIR:hushmaker_web>/hushmaker_web.wasm ${PROJECT_VERSION} hushmaker.html
  DEPENDS hushmaker_web ${HUSH_PAGE_PARTS} VERBATIM)
add_custom_target(web_page ALL DEPENDS hushmaker.html)
