/* Ends with the exit code given as its one argument (decimal or 0x hex), so the
   Wine runner's report of full 32-bit exit codes can be checked. */
#include <stdlib.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ExitProcess((UINT)strtoul(argv[1], NULL, 0));
}
