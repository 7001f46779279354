#include "message_box.h"

#include "framework/text.h"
#include "framework/thread.h"

#include <cstdarg>
#include <new>
#include <string>

namespace {

UINT WithDefaultIcon(UINT type) {
    UINT buttons = type & MB_TYPEMASK;
    if ((type & MB_ICONMASK) == 0 && (buttons == MB_OK || buttons == MB_OKCANCEL ||
                                      buttons == MB_YESNOCANCEL || buttons == MB_YESNO))
        return type | MB_ICONEXCLAMATION;
    return type;
}

int ShowMessageBox(const char* format, UINT type, va_list args) {
    try {
        std::string text = FormatV(format, args);
        std::string caption = GetApplicationTitle();
        // The last active pop-up of the main window owns the box and is disabled meanwhile.
        HWND owner = GetThreadMainWindow();
        if (owner != nullptr)
            owner = ::GetLastActivePopup(owner);
        MSGBOXPARAMSA params = {};
        params.cbSize = sizeof params;
        params.hwndOwner = owner;
        params.lpszText = text.c_str();
        params.lpszCaption = caption.c_str();
        params.dwStyle = WithDefaultIcon(type);
        params.dwContextHelpId = 0;
        return ::MessageBoxIndirectA(&params);
    } catch (const std::bad_alloc&) {
        return 0;
    }
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
    std::string format = LoadResourceString(id);
    va_list args;
    va_start(args, type);
    int result = ShowMessageBox(format.c_str(), type, args);
    va_end(args);
    return result;
}
