// mglink: linkage test of a quantitative trait's major gene with a marker.
// Takes no arguments; works in the current directory.
#include "run/run_driver.hpp"

int main() { return mglink::run_program(); }
