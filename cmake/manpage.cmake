# Writes the manual page of pimlora-cli from the program's own --help text,
# so the two cannot drift apart.
#   cmake -DCLI=path/to/pimlora-cli -DIN=man/pimlora-cli.1.in -DOUT=pimlora-cli.1 -P manpage.cmake
execute_process(COMMAND "${CLI}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pimlora-cli --help failed (${rc})")
endif()
# roff: backslashes doubled, a leading dot or quote protected.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n$" "" help "${help}")
# The synopsis: one line per verb.
set(synopsis "")
string(REPLACE "\n" ";" lines "${help}")
foreach(line IN LISTS lines)
  if(line MATCHES "^  pimlora-cli ([^ ]+)(.*)$")
    string(APPEND synopsis ".br\n\\fBpimlora-cli ${CMAKE_MATCH_1}\\fR${CMAKE_MATCH_2}\n")
  endif()
endforeach()
file(READ "${IN}" page)
string(REPLACE "@SYNOPSIS@" "${synopsis}" page "${page}")
string(REPLACE "@HELP@" "${help}" page "${page}")
file(WRITE "${OUT}.new" "${page}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
