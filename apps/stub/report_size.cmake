# Prints the stripped book runtime's size before padding, against its budget.
# With -DPAD_IF_FITS=ON (the 64-bit test build, which has no budget of its
# own) it also pads the program when it fits, and leaves it alone otherwise.
#   cmake -DSTUB=path -DSIZE=bytes [-DPAD_IF_FITS=ON] -P report_size.cmake
file(SIZE "${STUB}" actual)
math(EXPR spare "${SIZE} - ${actual}")
get_filename_component(name "${STUB}" NAME)
message(STATUS "${name}: ${actual} bytes before padding, ${spare} of ${SIZE} to spare")
if(PAD_IF_FITS AND spare GREATER_EQUAL 0)
  execute_process(COMMAND truncate -s ${SIZE} "${STUB}")
endif()
