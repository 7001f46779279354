#include "message_box.h"

#include "framework/dialog.h"
#include "framework/text.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

namespace {

// Texts up to this size are built without the heap, so that a box owed to the user (the
// thread that could not be created for lack of memory, say) appears whatever memory is left.
constexpr int kShortTextSize = 1024;

UINT WithDefaultIcon(UINT type) {
    UINT buttons = type & MB_TYPEMASK;
    if ((type & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL ||
                                      buttons == MB_YESNOCANCEL || buttons == MB_YESNO))
        return type | MB_ICONEXCLAMATION;
    return type;
}

int ShowMessageBox(const char* format, UINT type, va_list args) {
    if (format == nullptr)
        format = "";
    char shortText[kShortTextSize];
    va_list probe;
    va_copy(probe, args);
    int needed = std::vsnprintf(shortText, sizeof shortText, format, probe);
    va_end(probe);
    if (needed < 0)
        shortText[0] = '\0';
    const char* text = shortText;
    // A longer text needs the heap; without it the box shows the text cut to the buffer.
    std::string longText;
    if (needed >= kShortTextSize) {
        try {
            longText = FormatV(format, args);
            text = longText.c_str();
        } catch (const std::bad_alloc&) {
        }
    }
    return ShowApplicationMessageBox(GetMessageBoxOwner(nullptr), text, WithDefaultIcon(type));
}

} // namespace

int MessageBoxFormat(const char* format, UINT type, ...) {
    va_list args;
    va_start(args, type);
    int result = ShowMessageBox(format, type, args);
    va_end(args);
    return result;
}

int MessageBoxResource(UINT id, UINT type, ...) {
    char shortFormat[kShortTextSize];
    const char* format = shortFormat;
    std::string longFormat;
    if (LoadResourceString(id, shortFormat, kShortTextSize) >= kShortTextSize - 1) {
        try {
            longFormat = LoadResourceString(id);
            format = longFormat.c_str();
        } catch (const std::bad_alloc&) {
        }
    }
    va_list args;
    va_start(args, type);
    int result = ShowMessageBox(format, type, args);
    va_end(args);
    return result;
}
