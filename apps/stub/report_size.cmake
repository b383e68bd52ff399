# Prints the stripped book runtime's size before padding, against its budget.
#   cmake -DSTUB=path -DSIZE=bytes -P report_size.cmake
file(SIZE "${STUB}" actual)
math(EXPR spare "${SIZE} - ${actual}")
get_filename_component(name "${STUB}" NAME)
message(STATUS "${name}: ${actual} bytes before padding, ${spare} of ${SIZE} to spare")
