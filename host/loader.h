// SPDX-License-Identifier: MIT
// The one place that knows how this platform opens a shared library:
// dlopen on POSIX, LoadLibrary on Windows.
#pragma once

#include <string>

namespace shhost {

class SharedLibrary {
  public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    // False with the loader's reason in error.
    bool open(const std::string &path, std::string &error);
    // The address of an exported name, or nullptr.
    void *symbol(const char *name) const;

  private:
    void *handle_ = nullptr;
};

// The plug-in's file name as the build makes it on this platform.
extern const char *const PLUGIN_FILE;
// Where the build puts the plug-in, relative to this program's directory,
// and where an installation puts it.
std::string builtPluginPath(const std::string &exeDir);
// This program's directory, or "." when it cannot be told.
std::string exeDirectory();
bool isReadableFile(const std::string &path);

} // namespace shhost
