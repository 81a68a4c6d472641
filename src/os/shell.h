// Shell and module services: opening a document or address, and looking up a
// function of a system library at run time.
#pragma once
#include <string>

namespace os {

// Opens a file or address with its default verb (ShellExecute with the
// desktop as owner and no working folder); true when the shell accepted it.
bool ShellOpenDocument(const std::string& file, const std::string& parameters, int showCommand);

// Loads the library (kept loaded) and returns the function's address, or
// null when the library cannot be loaded or the function is missing.
void* LibraryFunction(const std::string& library, const std::string& function);

}  // namespace os
