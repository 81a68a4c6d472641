// <windows.h> for the Win32 platform layer, without the A/W name macros that
// collide with the platform interface's own function names (os::DeleteFile,
// os::CopyFile, os::GetProfileString ...). Every file of this layer that also
// includes an os/ header includes this instead of <windows.h>; otherwise the
// preprocessor would quietly rename the os function to its "A" twin and the
// portable callers would not link.
#pragma once
#include <windows.h>

#undef CopyFile
#undef DeleteFile
#undef GetCommandLine
#undef GetComputerName
#undef GetDriveType
#undef GetProfileString
#undef GetTempPath
#undef GetUserName
#undef MoveFile
#undef WriteProfileString
