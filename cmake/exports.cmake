# The one list of exports: library, name, result type, then each parameter
# as its header declares it; LINUX marks an export that only Linux builds
# have. The build generates from this list the ELF version scripts, both
# .def files, the static checks' list, the Windows test host's table and the
# declarations of the Windows host README. Adding an export means a line
# here, its implementation and its declaration in include/.
hostlibs_export(textfind ScanDB int32_t "const char *query" "int32_t mode" "const char *selector")
hostlibs_export(textfind ResSet int32_t "char *buffer")
hostlibs_export(textfind FindDB int32_t "int32_t record" "char *buffer")

hostlibs_export(hostutil PrintFile int32_t
  "const char *printerName" "const char *outputFile" "const char *filePath")
hostlibs_export(hostutil SetupDialog int32_t "HostutilPrinterSetup *record")
hostlibs_export(hostutil DefaultPrinter int32_t
  "char *deviceBuffer" "char *driverBuffer" "char *portBuffer")
hostlibs_export(hostutil LoadBin int32_t
  "HostutilConnection connection" "const char *sql" "const char *path")
hostlibs_export(hostutil SaveBin int32_t
  "HostutilConnection connection" "const char *sql" "const char *path")
hostlibs_export(hostutil VEDIVAR int32_t "const char *path" "const char *name" "char *out")
hostlibs_export(hostutil ReplChar int32_t
  "const char *source" "const char *destination" "int32_t fromByte" "int32_t toByte")
hostlibs_export(hostutil SortList int32_t "const char *list" "char *out")
hostlibs_export(hostutil SortList2 int32_t "const char *list" "char *out")
hostlibs_export(hostutil RunPrg int32_t "const char *programPath" "const char *cmdArg0"
  "const char *cmdArg1" "const char *cmdArg2" "const char *cmdArg3" "const char *cmdArg4")
hostlibs_export(hostutil SetNewTime int32_t
  "int32_t year" "int32_t month" "int32_t day" "int32_t hour" "int32_t minute")
hostlibs_export(hostutil SetMessageHandler void "HostutilMessageHandler handler" LINUX)
hostlibs_export(hostutil SetDialogProvider void "HostutilDialogProvider provider" LINUX)
