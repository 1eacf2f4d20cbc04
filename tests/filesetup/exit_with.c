/* Ends with the exit code given as its first argument: the program an installer runs after
 * installing, in the reference setup program's tests. */
#include <stdlib.h>

int main(int argc, char **argv) { return argc > 1 ? atoi(argv[1]) : 0; }
