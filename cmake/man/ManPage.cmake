# cmake -DTOOL=<program> -DNAME=<name> -DSUMMARY=<one line> -DVERSION=<v> -DOUT=<file.1>
#   -P ManPage.cmake
# A manual page made from the tool's --help, so the two never disagree: the
# usage lines are the synopsis, the rest the description, as written.
execute_process(COMMAND ${TOOL} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} --help failed")
endif()
string(TOUPPER ${NAME} upper)
# Backslashes and leading dots or quotes mean something to roff.
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX MATCH "^(usage: [^\n]*\n)([ ]+[^\n]*\n)*" usage "${help}")
string(LENGTH "${usage}" usageLength)
string(SUBSTRING "${help}" ${usageLength} -1 description)
string(REGEX REPLACE "usage: " "" usage "${usage}")
string(REGEX REPLACE "^\n+" "" description "${description}")
file(WRITE ${OUT}
".TH ${upper} 1 \"\" \"hostlibs ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${usage}.fi
.SH DESCRIPTION
.nf
${description}.fi
")
