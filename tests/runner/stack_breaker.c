/* A program for the runner's test that kills the Wine host process itself: with its stack pointer
   broken, no stack is left to raise the fault on, and the host dies of SIGSEGV. The first
   argument says when it breaks its stack:
     always         every run
     first          the first run only (while "ran-before" is missing from the current folder)
     summary        every run, after googletest's final summary line
     summary-first  the first run only, after the summary line
   Every run adds a line to "runs" in the current folder and prints which run it is. */
#include <stdio.h>
#include <string.h>

static void BreakStack(void) {
    fflush(stdout);
    __asm__ volatile("xorl %%esp, %%esp\n\tpushl $0" ::: "memory");
}

static void Summary(void) {
    printf("[==========] 1 test from 1 test suite ran. (1 ms total)\n");
    printf("[  PASSED  ] 1 test.\n");
}

int main(int argc, char** argv) {
    const char* when = argc > 1 ? argv[1] : "always";
    FILE* marker = fopen("ran-before", "r");
    const int first = marker == NULL;
    if (marker) fclose(marker);
    marker = fopen("ran-before", "w");
    if (marker) fclose(marker);
    FILE* runs = fopen("runs", "a");
    if (runs) {
        fputs("run\n", runs);
        fclose(runs);
    }
    printf("%s run\n", first ? "first" : "later");
    const int always = strncmp(when, "summary-first", 13) != 0 && strcmp(when, "first") != 0;
    const int breaks = always || first;
    if (strncmp(when, "summary", 7) == 0) Summary();
    if (breaks) BreakStack();
    if (strncmp(when, "summary", 7) != 0) Summary();
    return 0;
}
