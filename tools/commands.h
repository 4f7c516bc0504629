// The tool's commands; each returns the process exit status.
#ifndef RAVVEL_TOOLS_COMMANDS_H
#define RAVVEL_TOOLS_COMMANDS_H

namespace rvtool {

// Exit statuses: 0 success, 1 processing failed, 2 bad command line,
// 3 the method is not in this build of the library.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitMissing = 3 };

int CmdInfo(int argc, char** argv);
int CmdDemo(int argc, char** argv);
int CmdProcess(int argc, char** argv);

// "ravvel: <message>" on standard error.
void Complain(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace rvtool

#endif
