# Pads the stripped book runtime with zero bytes to exactly the payload
# offset, since a book's archive starts there. Fails when it is larger.
#   cmake -DSTUB=path -DSIZE=bytes -P pad_stub.cmake
file(SIZE "${STUB}" actual)
if(actual GREATER SIZE)
  message(FATAL_ERROR "pagorix-stub is ${actual} bytes after stripping, more than the "
                      "${SIZE} bytes a book's runtime may take: the payload would not start "
                      "at its fixed offset. Make the runtime smaller.")
endif()
math(EXPR missing "${SIZE} - ${actual}")
if(missing GREATER 0)
  # Growing a file with truncate fills it with zero bytes.
  execute_process(COMMAND truncate -s ${SIZE} "${STUB}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot pad ${STUB} to ${SIZE} bytes")
  endif()
endif()
