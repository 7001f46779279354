#include "text.h"

#include <cstdio>
#include <cstring>
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

int LoadResourceString(UINT id, char* text, int size) {
    if (size <= 0)
        return 0;
    int length = ::LoadStringA(::GetModuleHandleA(nullptr), id & 0xFFFF, text, size);
    if (length <= 0) {
        text[0] = '\0';
        return 0;
    }
    return length;
}

std::string LoadResourceString(UINT id) {
    // LoadStringA gives no length up front: grow until the text fits with room to spare.
    std::vector<char> buffer(256);
    for (;;) {
        int length = LoadResourceString(id, buffer.data(), static_cast<int>(buffer.size()));
        if (length <= 0)
            return std::string();
        if (static_cast<size_t>(length) < buffer.size() - 1 || buffer.size() >= 65536)
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

BOOL GetExecutablePath(char (&path)[MAX_PATH + 1]) {
    // One spare character: older systems leave a cut path without its NUL.
    path[MAX_PATH] = '\0';
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0)
        path[0] = '\0';
    return length > 0 && length < MAX_PATH;
}

char* FileNamePart(char* path) {
    unsigned char* name = reinterpret_cast<unsigned char*>(path);
    if (unsigned char* slash = _mbsrchr(name, '\\'))
        name = slash + 1;
    return reinterpret_cast<char*>(name);
}

std::string GetExecutableDirectory() {
    char path[MAX_PATH + 1];
    GetExecutablePath(path);
    return std::string(path, FileNamePart(path));
}

void GetApplicationTitle(char (&title)[MAX_PATH + 1]) {
    char path[MAX_PATH + 1];
    GetExecutablePath(path);
    unsigned char* name = reinterpret_cast<unsigned char*>(FileNamePart(path));
    if (unsigned char* dot = _mbsrchr(name, '.'))
        *dot = '\0';
    std::memcpy(title, name, std::strlen(reinterpret_cast<char*>(name)) + 1);
}

std::string GetApplicationTitle() {
    char title[MAX_PATH + 1];
    GetApplicationTitle(title);
    return title;
}
