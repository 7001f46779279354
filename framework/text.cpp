#include "text.h"

#include "wide_api.h"

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

namespace {

// The last c in text, or null. ANSI text is searched multibyte-aware.
char* FindLast(char* text, char c) {
    return reinterpret_cast<char*>(
        _mbsrchr(reinterpret_cast<unsigned char*>(text), static_cast<unsigned char>(c)));
}
wchar_t* FindLast(wchar_t* text, wchar_t c) {
    wchar_t* found = nullptr;
    for (; *text != L'\0'; ++text)
        if (*text == c)
            found = text;
    return found;
}

template <typename Char> BOOL ExecutablePath(Char (&path)[MAX_PATH + 1]) {
    // One spare character: older systems leave a cut path without its NUL.
    path[MAX_PATH] = Char();
    DWORD length = GetModulePath(nullptr, path, MAX_PATH);
    if (length == 0)
        path[0] = Char();
    return length > 0 && length < MAX_PATH;
}

template <typename Char> Char* NamePart(Char* path) {
    if (Char* slash = FindLast(path, Char('\\')))
        return slash + 1;
    return path;
}

template <typename Char> void ApplicationTitle(Char (&title)[MAX_PATH + 1]) {
    Char path[MAX_PATH + 1];
    GetExecutablePath(path);
    Char* name = NamePart(path);
    if (Char* dot = FindLast(name, Char('.')))
        *dot = Char();
    std::memcpy(title, name, (std::char_traits<Char>::length(name) + 1) * sizeof(Char));
}

} // namespace

BOOL GetExecutablePath(char (&path)[MAX_PATH + 1]) {
    return ExecutablePath(path);
}

BOOL GetExecutablePath(wchar_t (&path)[MAX_PATH + 1]) {
    return ExecutablePath(path);
}

char* FileNamePart(char* path) {
    return NamePart(path);
}

wchar_t* FileNamePart(wchar_t* path) {
    return NamePart(path);
}

std::string GetExecutableDirectory() {
    char path[MAX_PATH + 1];
    GetExecutablePath(path);
    return std::string(path, FileNamePart(path));
}

void GetApplicationTitle(char (&title)[MAX_PATH + 1]) {
    ApplicationTitle(title);
}

void GetApplicationTitle(wchar_t (&title)[MAX_PATH + 1]) {
    ApplicationTitle(title);
}

std::string GetApplicationTitle() {
    char title[MAX_PATH + 1];
    GetApplicationTitle(title);
    return title;
}
