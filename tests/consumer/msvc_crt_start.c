/* The start of a program built for the MSVC target without Microsoft's C
 * runtime start-up objects, which are not on this machine: the arguments
 * from msvcrt.dll (through MinGW's import library), then main, then exit. */
extern int main(int argc, char **argv);
extern int __getmainargs(int *argc, char ***argv, char ***environment, int expandWildcards, int *startInfo);
extern void exit(int status);

int mainCRTStartup(void) {
  int argc = 0, startInfo = 0;
  char **argv = 0, **environment = 0;
  __getmainargs(&argc, &argv, &environment, 0, &startInfo);
  exit(main(argc, argv));
  return 0;
}
