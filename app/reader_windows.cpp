// The Windows entry of tarnwhistle-read, a console program: the reader takes its arguments from
// the wide command line, as the recorder does.
#include "reader/run.h"

int main() { return reader::RunReader(); }
