/* Imports a function that Windows XP and older lack, so the import check has to object. */
#include <windows.h>

int main(void) {
    return (int)(GetTickCount64() & 1);
}
