// The velotrix command line: RTF in, RTF out, through the same document pass Word drives.
#pragma once

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitInput = 3;
constexpr int kExitOutput = 4;
constexpr int kExitWrite = 5;
constexpr int kExitInstall = 6;

int RunVelotrix(int argc, char** argv);
