/* Baseline: a process that starts and returns at once. */
int main(void) { return 0; }
