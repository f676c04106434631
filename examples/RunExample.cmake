# Runs the example in an empty folder and compares its output.
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})
execute_process(COMMAND ${PROGRAM} ${FOLDER} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
set(expected "Alan 1912-06-23\nGrace 1906-12-09\nMargaret 1936-08-17\n")
if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
  message(FATAL_ERROR "exit ${rc}\n--- output\n${out}--- errors\n${err}--- expected\n${expected}")
endif()
