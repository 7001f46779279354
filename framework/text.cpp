#include "text.h"

#include <cstdio>
#include <mbstring.h>
#include <vector>

std::string FormatV(const char* format, va_list args) {
    if (format == nullptr)
        return std::string();
    va_list probe;
    va_copy(probe, args);
    int needed = std::vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    if (needed <= 0)
        return std::string();
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

std::string LoadResourceString(UINT id) {
    HINSTANCE module = ::GetModuleHandleA(nullptr);
    // LoadStringA gives no length up front: grow until the text fits with room to spare.
    std::vector<char> buffer(256);
    for (;;) {
        int length =
            ::LoadStringA(module, id & 0xFFFF, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0)
            return std::string();
        if (static_cast<size_t>(length) < buffer.size() - 1 || buffer.size() >= 65536)
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

// The executable's path split after its last backslash. The search is multibyte-aware, so
// the trail byte 0x5C of a double-byte character is never taken for a separator.
void SplitExecutablePath(std::string& directory, std::string& fileName) {
    // One spare character: older systems leave a truncated path without its NUL.
    char path[MAX_PATH + 1] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    unsigned char* name = reinterpret_cast<unsigned char*>(path);
    if (unsigned char* slash = _mbsrchr(name, '\\'))
        name = slash + 1;
    char* split = reinterpret_cast<char*>(name);
    directory.assign(path, split);
    fileName.assign(split);
}

} // namespace

std::string GetExecutableDirectory() {
    std::string directory, fileName;
    SplitExecutablePath(directory, fileName);
    return directory;
}

std::string GetApplicationTitle() {
    std::string directory, title;
    SplitExecutablePath(directory, title);
    const unsigned char* dot = _mbsrchr(reinterpret_cast<const unsigned char*>(title.c_str()), '.');
    if (dot != nullptr)
        title.resize(static_cast<size_t>(reinterpret_cast<const char*>(dot) - title.c_str()));
    return title;
}
