// The running process and its surroundings.
#pragma once
#include <cstdint>
#include <string>

namespace os {

std::string GetCommandLine();        // raw, program part included
std::string GetModulePath();         // full path of the running executable
bool GetEnv(const std::string& name, std::string& value);  // false when unset
// System folders, as the system reports them (the temp folder usually ends with
// a backslash, the others not). Empty on failure.
std::string GetTempPath();
std::string GetWindowsDir();
std::string GetSystemDir();
std::string GetUserName();
std::string GetComputerName();
std::string GetUserDomain(const std::string& user);  // empty on failure

std::uint32_t CurrentProcessId();
std::uint32_t CurrentThreadId();
std::uint32_t LastError();
void SetLastError(std::uint32_t code);
// The system's message for an error code; false when none can be produced.
bool SystemErrorText(std::uint32_t code, std::string& text);

// Whether a byte is a lead byte of a double-byte character in the ANSI code page.
bool IsDBCSLeadByte(unsigned char c);

}  // namespace os
