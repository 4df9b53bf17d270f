# cmake -DTEMPLATE=page.html -DENGINE=engine.js -DOUTPUT=normlevel.html -P inline_engine.cmake
# Puts the engine's script where the page's template has the line
# <!-- engine -->, so the page is one file.
file(READ "${TEMPLATE}" page)
file(READ "${ENGINE}" engine)
string(FIND "${engine}" "</script" closing)
if(NOT closing EQUAL -1)
  message(FATAL_ERROR "${ENGINE} holds </script: it cannot stand inline")
endif()
string(FIND "${page}" "<!-- engine -->" slot)
if(slot EQUAL -1)
  message(FATAL_ERROR "${TEMPLATE} has no <!-- engine --> line")
endif()
string(REPLACE "<!-- engine -->" "<script>\n${engine}\n</script>" page "${page}")
file(WRITE "${OUTPUT}" "${page}")
