// SPDX-License-Identifier: MIT
#include "loader.h"

#include <filesystem>
#include <fstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace shhost {

#if defined(_WIN32)

const char *const PLUGIN_FILE = "libkelvo-sh-sys.dll";

namespace {

std::string lastErrorText() {
    const DWORD code = GetLastError();
    char *text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string why =
        n != 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(code);
    LocalFree(text);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == '.'))
        why.pop_back();
    return why;
}

} // namespace

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

bool SharedLibrary::open(const std::string &path, std::string &error) {
    // The plug-in's own dependency (qolib) is searched for beside it first.
    handle_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (handle_ == nullptr)
        error = lastErrorText();
    return handle_ != nullptr;
}

void *SharedLibrary::symbol(const char *name) const {
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string builtPluginPath(const std::string &exeDir) {
    return exeDir + "/" + PLUGIN_FILE; // DLLs go beside the programs
}

std::string exeDirectory() {
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n == sizeof buf)
        return ".";
    return std::filesystem::path(std::string(buf, n)).parent_path().string();
}

#else

const char *const PLUGIN_FILE = "libkelvo-sh-sys.so.4";

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr)
        dlclose(handle_);
}

bool SharedLibrary::open(const std::string &path, std::string &error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *why = dlerror();
        error = why != nullptr ? why : "unknown error";
    }
    return handle_ != nullptr;
}

void *SharedLibrary::symbol(const char *name) const {
    return dlsym(handle_, name);
}

std::string builtPluginPath(const std::string &exeDir) {
    return exeDir + "/../lib/" + PLUGIN_FILE;
}

std::string exeDirectory() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

#endif

bool isReadableFile(const std::string &path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) &&
           std::ifstream(path, std::ios::binary).good();
}

} // namespace shhost
