// The library's C interface. Only the functions declared in include/zorvex.h
// are exported; everything else in the library stays hidden.
